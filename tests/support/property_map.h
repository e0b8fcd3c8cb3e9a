// Builds a host property map (UTF-8 name/value pairs ending at a null name).
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "hook/context.h"

class PropertyMapBuilder {
public:
    PropertyMapBuilder& Set(const std::string& name, const std::string& value);
    // An entry whose value pointer is null.
    PropertyMapBuilder& SetNull(const std::string& name);

    // The map, valid while the builder lives and is not changed.
    const PropertyMap* map();

private:
    struct Pending {
        std::string name;
        std::string value;
        bool null;
    };
    std::deque<Pending> pending_;
    std::vector<PropertyEntry> entries_;
};

// This product's name and no INSTALLDIR: no install folder is available.
PropertyMapBuilder ProductWithoutInstallDir();

// The properties the installer host passes for this product.
PropertyMapBuilder ProductProperties(const std::string& installDir = "C:\\Program Files\\Kestrune");
