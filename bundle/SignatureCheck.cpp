#include "bundle/SignatureCheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "bundle/BundleLayout.h"
#include "bundle/SshKeygen.h"
#include "link/Timeouts.h"

namespace {

constexpr char kNamespace[] = "tovrane-bundle";

// Why the trust file cannot be used; empty when it is a readable plain file.
std::string TrustFileTrouble(const std::string& trustFile) {
    const int fd = ::open(trustFile.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return "the trust file " + trustFile + " cannot be read: " + std::strerror(errno);
    }
    struct stat info {};
    const bool plain = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return plain ? std::string() : "the trust file " + trustFile + " is not a plain file";
}

uint32_t SignatureCheckLimitMs() {
    return timing::Scaled(timing::kSignatureCheckLimitMs);
}

}  // namespace

SignatureCheck CheckSignature(const std::string& manifestPath, const std::string& signaturePath,
                              const std::string& trustFile, const std::function<bool()>& stopped) {
    SignatureCheck check;
    if (trustFile.empty()) {
        return check;
    }
    check.checked = true;
    check.refusal = TrustFileTrouble(trustFile);
    if (!check.refusal.empty()) {
        return check;
    }
    struct stat info {};
    if (::lstat(signaturePath.c_str(), &info) != 0) {
        check.refusal = std::string("the bundle is not signed (it has no ") + kSignatureName +
                        "), but the trust file " + trustFile + " requires a signature";
        return check;
    }
    const QString signature = QString::fromStdString(signaturePath);
    const QString trust = QString::fromStdString(trustFile);
    const SshKeygenRun find = RunSshKeygen({"-Y", "find-principals", "-s", signature, "-f", trust},
                                           {}, SignatureCheckLimitMs(), stopped);
    if (!find.trouble.empty()) {
        check.refusal = find.finished ? "no key in the trust file " + trustFile +
                                            " made the signature (unknown signer): " + find.trouble
                                      : find.trouble;
        return check;
    }
    const std::string signer = FirstLine(find.out);
    const SshKeygenRun verify =
        RunSshKeygen({"-Y", "verify", "-f", trust, "-I", QString::fromStdString(signer), "-n",
                      kNamespace, "-s", signature},
                     manifestPath, SignatureCheckLimitMs(), stopped);
    if (!verify.trouble.empty()) {
        check.refusal = verify.finished ? "the signature of manifest.json does not verify for " +
                                              signer + " (bad signature): " + verify.trouble
                                        : verify.trouble;
        return check;
    }
    check.signer = signer;
    return check;
}
