// An open registry key that closes itself when it goes.
#pragma once

#include "winreg.h"

class OwnedKey {
public:
    explicit OwnedKey(HKEY key = nullptr) : key_(key) {}
    ~OwnedKey()
    {
        if (key_)
            RegCloseKey(key_);
    }
    OwnedKey(const OwnedKey &) = delete;
    OwnedKey &operator=(const OwnedKey &) = delete;
    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }

private:
    HKEY key_;
};
