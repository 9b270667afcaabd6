#include "bundle/SignatureCheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>

#include "bundle/BundleLayout.h"
#include "link/Timeouts.h"

namespace {

constexpr char kNamespace[] = "tovrane-bundle";

struct ToolRun {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    std::string trouble;  // why it did not run to its end
};

// The first line of `text` that is not blank.
std::string FirstLine(const QByteArray& text) {
    for (const QByteArray& line : text.split('\n')) {
        if (!line.trimmed().isEmpty()) {
            return line.trimmed().toStdString();
        }
    }
    return "no reason given";
}

// Runs ssh-keygen with `arguments` and `input` on its standard input, for a bounded
// time; Ctrl-C or SIGTERM (`stopped`) ends it early.
ToolRun RunSshKeygen(const QStringList& arguments, const QByteArray& input,
                     const std::function<bool()>& stopped) {
    ToolRun run;
    const QString program = QStandardPaths::findExecutable("ssh-keygen");
    if (program.isEmpty()) {
        run.trouble =
            "ssh-keygen, which checks bundle signatures, is not installed (Debian "
            "package openssh-client)";
        return run;
    }
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    const QDeadlineTimer deadline(timing::Scaled(timing::kSignatureCheckLimitMs));
    while (!process.waitForFinished(static_cast<int>(timing::kStopPollMs))) {
        if (process.state() == QProcess::NotRunning) {
            run.trouble = "ssh-keygen could not be run: " + process.errorString().toStdString();
            return run;
        }
        if ((stopped && stopped()) || deadline.hasExpired()) {
            process.kill();
            process.waitForFinished();
            run.trouble = stopped && stopped() ? "stopped"
                                               : "ssh-keygen did not finish the signature check "
                                                 "in time";
            return run;
        }
    }
    run.finished = process.exitStatus() == QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    if (!run.finished) {
        run.trouble = "ssh-keygen crashed";
    } else if (run.exitCode != 0) {
        run.trouble = FirstLine(process.readAllStandardError());
    }
    return run;
}

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

QByteArray ManifestBytes(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.read(kMaxManifestBytes) : QByteArray();
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
    const ToolRun find = RunSshKeygen({"-Y", "find-principals", "-s", signature, "-f", trust},
                                      QByteArray(), stopped);
    if (!find.trouble.empty()) {
        check.refusal = find.finished ? "no key in the trust file " + trustFile +
                                            " made the signature (unknown signer): " + find.trouble
                                      : find.trouble;
        return check;
    }
    const std::string signer = FirstLine(find.out);
    const ToolRun verify =
        RunSshKeygen({"-Y", "verify", "-f", trust, "-I", QString::fromStdString(signer), "-n",
                      kNamespace, "-s", signature},
                     ManifestBytes(manifestPath), stopped);
    if (!verify.trouble.empty()) {
        check.refusal = verify.finished ? "the signature of manifest.json does not verify for " +
                                              signer + " (bad signature): " + verify.trouble
                                        : verify.trouble;
        return check;
    }
    check.signer = signer;
    return check;
}
