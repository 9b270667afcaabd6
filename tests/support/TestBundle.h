#pragma once

// Release bundles for tests: a folder with images and a manifest naming their
// SHA-256, written here independently of the code under test, and a throwaway
// signing key with a trust file that lists it.

#include <QJsonObject>
#include <filesystem>
#include <map>
#include <string>

// The SHA-256 of `bytes` in lower-case hex.
std::string Sha256Hex(const std::string& bytes);

// Writes the images (name -> content) into `folder` and a manifest.json naming each
// with its SHA-256: "Model 7 controller" release 2.4.1, steps dsp and mcu as the
// images have them. `fields` replace or add top-level fields. Returns the
// manifest's path.
std::string WriteBundleFolder(const std::filesystem::path& folder,
                              const std::map<std::string, std::string>& images,
                              const QJsonObject& fields = {});

// An ed25519 key made with ssh-keygen in `folder`, and a trust file there that
// lists it for `principal` under the namespace tovrane-bundle.
class TestSigner {
  public:
    TestSigner(const std::filesystem::path& folder, const std::string& principal);
    const std::string& TrustFile() const { return m_trustFile; }
    // Signs the manifest as a release engineer does; writes manifest.json.sig beside it.
    bool Sign(const std::string& manifestPath) const;

  private:
    std::string m_key;
    std::string m_trustFile;
};
