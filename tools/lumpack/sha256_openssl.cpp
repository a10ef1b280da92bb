// SHA-256 through OpenSSL's libcrypto.
#include <openssl/evp.h>

#include "sha256.h"

namespace {

class OpenSslSha256 : public Sha256 {
public:
    OpenSslSha256() : context_(EVP_MD_CTX_new()) {}
    ~OpenSslSha256() override { EVP_MD_CTX_free(context_); }
    OpenSslSha256(const OpenSslSha256 &) = delete;
    OpenSslSha256 &operator=(const OpenSslSha256 &) = delete;

    bool Start(std::string *error) {
        if (context_ == nullptr || EVP_DigestInit_ex(context_, EVP_sha256(), nullptr) != 1) {
            *error = "SHA-256 is not available (libcrypto)";
            return false;
        }
        return true;
    }

    bool Update(const uint8_t *bytes, size_t size, std::string *error) override {
        if (EVP_DigestUpdate(context_, bytes, size) != 1) {
            *error = "SHA-256 failed (libcrypto)";
            return false;
        }
        return true;
    }

    bool Finish(uint8_t digest[Sha256Size], std::string *error) override {
        unsigned int size = 0;
        if (EVP_DigestFinal_ex(context_, digest, &size) != 1 || size != Sha256Size) {
            *error = "SHA-256 failed (libcrypto)";
            return false;
        }
        return true;
    }

private:
    EVP_MD_CTX *context_;
};

}  // namespace

std::unique_ptr<Sha256> NewSha256(std::string *error) {
    std::unique_ptr<OpenSslSha256> hash(new OpenSslSha256());
    if (!hash->Start(error)) {
        return nullptr;
    }
    return hash;
}
