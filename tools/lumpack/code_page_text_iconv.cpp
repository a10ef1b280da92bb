// Reading names in a Windows code page through iconv.
#include <errno.h>
#include <iconv.h>

#include "code_page_text.h"

namespace {

struct CodePageName {
    int number;
    const char *iconvName;
};

const CodePageName CodePages[] = {{1252, "CP1252"}, {932, "CP932"}};

const char *IconvName(int codePage) {
    for (const CodePageName &page : CodePages) {
        if (page.number == codePage) {
            return page.iconvName;
        }
    }
    return nullptr;
}

const char Replacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// One converter per call: names are short and few.
class Converter {
public:
    explicit Converter(const char *from) : cd_(iconv_open("UTF-8", from)) {}
    ~Converter() {
        if (ok()) {
            (void)iconv_close(cd_);
        }
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    bool ok() const {
        // iconv_open's failure value is (iconv_t)-1: the cast is the interface's.
        // NOLINTNEXTLINE(performance-no-int-to-ptr)
        return cd_ != reinterpret_cast<iconv_t>(-1);
    }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

}  // namespace

DecodedText DecodeCodePage(int codePage, const std::string &text) {
    DecodedText decoded;
    const char *name = IconvName(codePage);
    Converter converter(name != nullptr ? name : "");
    if (!converter.ok()) {
        // Not a known code page, or iconv lacks it: no byte can be read.
        for (size_t i = 0; i < text.size(); i++) {
            decoded.utf8 += Replacement;
        }
        decoded.replaced = !text.empty();
        return decoded;
    }
    char buffer[256];
    // iconv takes a non-const input pointer but never writes through it.
    char *in = const_cast<char *>(text.data());
    size_t inLeft = text.size();
    while (inLeft > 0) {
        char *out = buffer;
        size_t outLeft = sizeof buffer;
        size_t result = iconv(converter.get(), &in, &inLeft, &out, &outLeft);
        decoded.utf8.append(buffer, static_cast<size_t>(out - buffer));
        if (result != static_cast<size_t>(-1)) {
            continue;
        }
        if (errno == E2BIG) {
            continue;
        }
        // EILSEQ (no character) or EINVAL (cut short at the end): this byte
        // shows as U+FFFD, and the next is read afresh.
        decoded.utf8 += Replacement;
        decoded.replaced = true;
        in++;
        inLeft--;
        (void)iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
    }
    return decoded;
}
