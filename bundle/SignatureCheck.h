#pragma once

#include <functional>
#include <string>

// What the signature check found.
struct SignatureCheck {
    bool checked = false;  // a trust file was in force
    std::string signer;    // the principal whose key made the signature, once it verified
    std::string refusal;   // why the bundle is refused; empty when it is not
};

// Checks the OpenSSH signature at `signaturePath` (no file there: unsigned) over the
// manifest at `manifestPath` against `trustFile` (allowed_signers format) with
// ssh-keygen: find-principals names the signer, verify checks the signature under the
// namespace tovrane-bundle. No trust file (empty): nothing is checked, nothing refused.
SignatureCheck CheckSignature(const std::string& manifestPath, const std::string& signaturePath,
                              const std::string& trustFile, const std::function<bool()>& stopped);
