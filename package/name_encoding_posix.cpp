// Name conversion through iconv's CP932 table (not SHIFT_JIS, which turns '\' into a yen sign).
#include <errno.h>
#include <iconv.h>

#include <string>
#include <string_view>

#include "package/name_encoding.h"

namespace {

// One conversion descriptor per direction and thread, opened once: opening one looks the
// tables up by name, which cost more than converting a name, four times for each file.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

  private:
    iconv_t cd_;
};

iconv_t Descriptor(const char* to) {
    thread_local Converter to_utf8("UTF-8", "CP932");
    thread_local Converter to_cp932("CP932", "UTF-8");
    const Converter& converter = std::string_view(to) == "UTF-8" ? to_utf8 : to_cp932;
    if (!converter.ok()) return reinterpret_cast<iconv_t>(-1);
    // Back to the initial state, whatever a failed conversion left.
    iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
    return converter.get();
}

// `to` is "UTF-8" or "CP932", `from` the other.
bool Convert(const char* to, const char*, std::string_view in, std::string& out) {
    iconv_t cd = Descriptor(to);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string result(in.size() * 4 + 16, '\0');
    char* in_ptr = const_cast<char*>(in.data());
    size_t in_left = in.size();
    char* out_ptr = result.data();
    size_t out_left = result.size();
    const size_t status = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    const bool flushed =
        iconv(cd, nullptr, nullptr, &out_ptr, &out_left) != static_cast<size_t>(-1);
    // A positive count means characters were converted irreversibly (best fit): not exact.
    if (status != 0 || in_left != 0 || !flushed) return false;
    result.resize(result.size() - out_left);
    out = std::move(result);
    return true;
}

// Exact only when converting back gives the very bytes we started from: CP932 has duplicate
// codes (NEC and IBM rows) and a few characters that only map one way.
bool ConvertExactly(const char* to, const char* from, std::string_view in, std::string& out) {
    std::string there;
    std::string back;
    if (!Convert(to, from, in, there)) return false;
    if (!Convert(from, to, there, back)) return false;
    if (back != in) return false;
    out = std::move(there);
    return true;
}

}  // namespace

bool ShiftJisToUtf8(std::string_view shift_jis, std::string& utf8) {
    return ConvertExactly("UTF-8", "CP932", shift_jis, utf8);
}

bool Utf8ToShiftJis(std::string_view utf8, std::string& shift_jis) {
    return ConvertExactly("CP932", "UTF-8", utf8, shift_jis);
}
