#include "TestBundle.h"

#include "bundle/SshKeygen.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <fstream>

namespace {

constexpr int kToolWaitMs = 30000;

// Through the tool's own runner, so the test's main thread stays out of the child's start.
bool SshKeygen(const QStringList& arguments) {
    return RunSshKeygen(arguments, {}, kToolWaitMs).trouble.empty();
}

}  // namespace

std::string Sha256Hex(const std::string& bytes) {
    return QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

std::string WriteBundleFolder(const std::filesystem::path& folder,
                              const std::map<std::string, std::string>& images,
                              const QJsonObject& fields) {
    std::filesystem::create_directories(folder);
    QJsonObject hashes;
    QJsonArray steps;
    for (const auto& [name, content] : images) {
        std::ofstream(folder / name, std::ios::binary) << content;
        hashes.insert(QString::fromStdString(name), QString::fromStdString(Sha256Hex(content)));
    }
    if (images.contains("dsp.hex")) {
        steps.append("dsp");
    }
    if (images.contains("mcu_old.mot") || images.contains("mcu_new.mot")) {
        steps.append("mcu");
    }
    QJsonObject manifest{
        {"format", "tovrane-bundle"}, {"format_version", 1}, {"name", "Model 7 controller"},
        {"release", "2.4.1"},         {"steps", steps},      {"images", hashes}};
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        manifest.insert(it.key(), it.value());
    }
    std::string path = (folder / "manifest.json").string();
    std::ofstream(path, std::ios::binary) << QJsonDocument(manifest).toJson().toStdString();
    return path;
}

TestSigner::TestSigner(const std::filesystem::path& folder, const std::string& principal)
    : m_key((folder / "release_key").string()), m_trustFile((folder / "allowed_signers").string()) {
    std::filesystem::create_directories(folder);
    if (!SshKeygen(
            {"-q", "-t", "ed25519", "-N", "", "-C", "test", "-f", QString::fromStdString(m_key)})) {
        return;
    }
    QFile publicKey(QString::fromStdString(m_key + ".pub"));
    if (!publicKey.open(QIODevice::ReadOnly)) {
        return;
    }
    const QList<QByteArray> parts = publicKey.readAll().split(' ');
    std::ofstream(m_trustFile) << principal << " namespaces=\"tovrane-bundle\" "
                               << parts.value(0).toStdString() << ' '
                               << parts.value(1).toStdString() << '\n';
}

bool TestSigner::Sign(const std::string& manifestPath) const {
    std::filesystem::remove(manifestPath + ".sig");
    return SshKeygen({"-Y", "sign", "-f", QString::fromStdString(m_key), "-n", "tovrane-bundle",
                      QString::fromStdString(manifestPath)});
}
