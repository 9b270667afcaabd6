#include <fstream>

#include "BundleFixture.h"
#include "bundle/BundleCheck.h"

namespace {

class SignatureTest : public BundleTest {
  protected:
    void SetUp() override {
        BundleTest::SetUp();
        manifest = WriteGoodBundle("release");
        bundle = work.File("release");
    }

    CheckedBundle Check(const std::string& trustFile = {}) const {
        return CheckBundle(bundle, {trustFile, {}});
    }

    TestSigner signer{work.Path() / "keys", "release@example.com"};
    TestSigner stranger{work.Path() / "stranger", "someone@example.com"};
    std::string manifest;
    std::string bundle;
};

TEST_F(SignatureTest, WithATrustFileOnlyAGoodSignatureByAListedKeyIsAccepted) {
    const CheckedBundle unsigned_ = Check(signer.TrustFile());
    EXPECT_NE(unsigned_.refusal.find("the bundle is not signed"), std::string::npos)
        << unsigned_.refusal;

    ASSERT_TRUE(signer.Sign(manifest));
    const CheckedBundle good = Check(signer.TrustFile());
    EXPECT_TRUE(good.Accepted()) << good.refusal;
    EXPECT_EQ(good.signature.signer, "release@example.com");

    const CheckedBundle unknown = Check(stranger.TrustFile());
    EXPECT_NE(unknown.refusal.find("(unknown signer)"), std::string::npos) << unknown.refusal;
    EXPECT_EQ(unknown.signature.signer, "");

    // The release is edited after signing: the images still match, the signature does not.
    std::string text;
    std::getline(std::ifstream(manifest), text, '\0');
    text.replace(text.find("2.4.1"), 5, "2.4.2");
    std::ofstream(manifest) << text;
    const CheckedBundle bad = Check(signer.TrustFile());
    EXPECT_NE(bad.refusal.find("(bad signature)"), std::string::npos) << bad.refusal;

    const CheckedBundle unreadable = Check(work.File("keys/missing_signers"));
    EXPECT_NE(unreadable.refusal.find("the trust file " + work.File("keys/missing_signers") +
                                      " cannot be read"),
              std::string::npos)
        << unreadable.refusal;
}

TEST_F(SignatureTest, TheDefaultTrustFileIsInForceOnlyWhereItExists) {
    const CheckedBundle open = Check();
    EXPECT_TRUE(open.Accepted()) << open.refusal;
    EXPECT_FALSE(open.signature.checked);

    ASSERT_TRUE(stranger.Sign(manifest));
    const CheckedBundle notChecked = Check();
    EXPECT_TRUE(notChecked.Accepted()) << "nothing to check the signature against";
    EXPECT_EQ(notChecked.signature.signer, "");

    SetDefaultTrustFileForTests(signer.TrustFile());
    EXPECT_NE(Check().refusal.find("(unknown signer)"), std::string::npos);
    ASSERT_TRUE(signer.Sign(manifest));
    EXPECT_EQ(Check().signature.signer, "release@example.com");
}

}  // namespace
