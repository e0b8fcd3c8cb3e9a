#include "tests/support/property_map.h"

#include "hook/product.h"

PropertyMapBuilder& PropertyMapBuilder::Set(const std::string& name, const std::string& value) {
    pending_.push_back(Pending{name, value, false});
    return *this;
}

PropertyMapBuilder& PropertyMapBuilder::SetNull(const std::string& name) {
    pending_.push_back(Pending{name, std::string(), true});
    return *this;
}

const PropertyMap* PropertyMapBuilder::map() {
    entries_.clear();
    for (const Pending& entry : pending_) {
        entries_.push_back(PropertyEntry{entry.name.c_str(), entry.null ? nullptr : entry.value.c_str()});
    }
    entries_.push_back(PropertyEntry{nullptr, nullptr});
    return entries_.data();
}

PropertyMapBuilder ProductWithoutInstallDir() {
    PropertyMapBuilder builder;
    builder.Set("ProductName", VLX_PRODUCT_NAME);
    return builder;
}

PropertyMapBuilder ProductProperties(const std::string& installDir) {
    PropertyMapBuilder builder;
    builder.Set("ProductName", VLX_PRODUCT_NAME).Set("INSTALLDIR", installDir);
    return builder;
}
