#include "runner/stamped_app.h"

#include <cstring>
#include <string_view>

#include "resources/stamp_resources.h"
#include "win/wide_text.h"

namespace {

// One identity string: absent gives `fallback`; present but larger than `out` gives false.
bool ReadString(HMODULE module, const char* name, const char* fallback, char* out, size_t size) {
    std::string_view text = fallback;
    HRSRC resource = FindResourceW(module, WideFromUtf8(name).c_str(),
                                   WideFromUtf8(kIdentityResourceType).c_str());
    if (resource != nullptr) {
        HGLOBAL loaded = LoadResource(module, resource);
        const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
        if (bytes == nullptr) return false;
        text = std::string_view(static_cast<const char*>(bytes), SizeofResource(module, resource));
    }
    // A NUL inside would cut the string short unseen by the checks below.
    if (text.size() >= size || text.find('\0') != std::string_view::npos) return false;
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\0';
    return true;
}

}  // namespace

StampedApp::StampedApp(HMODULE module) {
    if (module == nullptr) module = GetModuleHandleW(nullptr);
    const ProductInfo& defaults = *this;
    const bool read =
        ReadString(module, kIdentityName, defaults.ProductInfo::Name(), name_, sizeof name_) &&
        ReadString(module, kIdentityDescription, defaults.ProductInfo::Description(), description_,
                   sizeof description_) &&
        ReadString(module, kIdentityVersion, defaults.ProductInfo::Version(), version_,
                   sizeof version_) &&
        ReadString(module, kIdentityCaption, defaults.ProductInfo::Caption(), caption_,
                   sizeof caption_) &&
        ReadString(module, kIdentityResourceName, defaults.ProductInfo::PackageResourceName(),
                   resource_name_, sizeof resource_name_);
    const IdentityText text{name_, description_, version_, caption_, resource_name_};
    stamped_ = read && CheckIdentity(text) == IdentityProblem::NONE;
}
