// The packed product's identity: five constant Shift-JIS strings owned by the program.
#pragma once

class ProductInfo {
public:
    virtual const char* Name() const { return ""; }
    virtual const char* Description() const { return ""; }
    virtual const char* Version() const { return ""; }
    virtual const char* Caption() const { return "Self Unpack"; }
    virtual const char* PackageResourceName() const { return "APPLIRES"; }

protected:
    ~ProductInfo() = default;
};
