// SHA-256 through Windows' CNG (bcrypt.dll).
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include "sha256.h"

namespace {

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

class CngSha256 : public Sha256 {
public:
    CngSha256() = default;
    ~CngSha256() override {
        if (hash_ != nullptr) {
            (void)BCryptDestroyHash(hash_);
        }
        if (algorithm_ != nullptr) {
            (void)BCryptCloseAlgorithmProvider(algorithm_, 0);
        }
    }
    CngSha256(const CngSha256 &) = delete;
    CngSha256 &operator=(const CngSha256 &) = delete;

    bool Start(std::string *error) {
        if (!Succeeded(
                BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
            !Succeeded(BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0))) {
            *error = "SHA-256 is not available (bcrypt)";
            return false;
        }
        return true;
    }

    bool Update(const uint8_t *bytes, size_t size, std::string *error) override {
        while (size > 0) {
            ULONG chunk = size > (1u << 30) ? (1u << 30) : static_cast<ULONG>(size);
            // The data is only read; the interface lacks the const.
            if (!Succeeded(BCryptHashData(hash_, const_cast<PUCHAR>(bytes), chunk, 0))) {
                *error = "SHA-256 failed (bcrypt)";
                return false;
            }
            bytes += chunk;
            size -= chunk;
        }
        return true;
    }

    bool Finish(uint8_t digest[Sha256Size], std::string *error) override {
        if (!Succeeded(BCryptFinishHash(hash_, digest, Sha256Size, 0))) {
            *error = "SHA-256 failed (bcrypt)";
            return false;
        }
        return true;
    }

private:
    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
};

}  // namespace

std::unique_ptr<Sha256> NewSha256(std::string *error) {
    std::unique_ptr<CngSha256> hash(new CngSha256());
    if (!hash->Start(error)) {
        return nullptr;
    }
    return hash;
}
