// Base of every reference-counted object of the view layer. The creator holds
// one reference; remember() adds one, forget() drops one and deletes the object
// with the last. Reference counts are touched on the user-interface thread only.
#pragma once

#include <cstdint>
#include <cstring>

namespace zel::gui {

class CBaseObject {
public:
    CBaseObject() noexcept;
    // A copy is a new object with its own single reference.
    CBaseObject(const CBaseObject&) noexcept;
    CBaseObject& operator=(const CBaseObject&) = delete;
    virtual ~CBaseObject();

    void remember() noexcept { ++nbReference; }
    void forget() noexcept;
    int32_t getNbReference() const noexcept { return nbReference; }

    virtual const char* getClassName() const { return "CBaseObject"; }
    // True for this class's name and every base class's name.
    virtual bool isTypeOf(const char* className) const {
        return std::strcmp(className, "CBaseObject") == 0;
    }
    // A copy made with the copy constructor, or null when the class cannot be copied.
    virtual CBaseObject* newCopy() const { return nullptr; }

    // Objects of the view layer alive in this process (leak checks).
    static int64_t getLiveObjectCount() noexcept;

private:
    int32_t nbReference = 1;
};

} // namespace zel::gui

// Declares getClassName, isTypeOf (chained to the parent) and newCopy (copy
// constructor) for a class of the view layer or derived from it.
#define CLASS_METHODS(name, parent)                                                                \
    const char* getClassName() const override {                                                    \
        return #name;                                                                              \
    }                                                                                              \
    bool isTypeOf(const char* className) const override {                                          \
        return std::strcmp(className, #name) == 0 || parent::isTypeOf(className);                  \
    }                                                                                              \
    ::zel::gui::CBaseObject* newCopy() const override {                                            \
        return new name(*this);                                                                    \
    }

#define CLASS_METHODS_NOCOPY(name, parent)                                                         \
    const char* getClassName() const override {                                                    \
        return #name;                                                                              \
    }                                                                                              \
    bool isTypeOf(const char* className) const override {                                          \
        return std::strcmp(className, #name) == 0 || parent::isTypeOf(className);                  \
    }                                                                                              \
    ::zel::gui::CBaseObject* newCopy() const override {                                            \
        return nullptr;                                                                            \
    }
