#pragma once

#include <string>

// The trust file looked for when none is given: OpenSSH's allowed_signers format.
inline constexpr char kDefaultTrustFile[] = "/etc/tovrane/allowed_signers";

// Tests point the default elsewhere, so they never depend on the machine's /etc.
void SetDefaultTrustFileForTests(std::string path);

// The trust file in force: `given` when it is not empty, otherwise the default when
// it exists; empty when there is none, and then signatures are not checked.
std::string TrustFileInForce(const std::string& given);
