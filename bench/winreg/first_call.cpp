// The first registry call of a fresh process, as the registry tool makes it:
// the hive's load and one query of a value. Prints the milliseconds it took,
// so that a timer of whole processes can be checked against it.
// Usage: winreg_first_call REGISTRY_DIR KEY_PATH VALUE_NAME
#include "vantor_registry.h"
#include "winreg.h"

#include <chrono>
#include <cstdio>
#include <string>

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s REGISTRY_DIR KEY_PATH VALUE_NAME\n", argv[0]);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    HKEY key = nullptr;
    DWORD type = 0, size = 0;
    const LSTATUS reset = VtrRegReset(argv[1]);
    const LSTATUS opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, argv[2], 0, KEY_READ, &key);
    const LSTATUS queried = opened == ERROR_SUCCESS ? RegQueryValueExA(key, argv[3], nullptr, &type, nullptr, &size) : opened;
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (reset != ERROR_SUCCESS || queried != ERROR_SUCCESS) {
        std::fprintf(stderr, "the call failed: reset %ld, query %ld\n", static_cast<long>(reset), static_cast<long>(queried));
        return 1;
    }
    std::printf("%.3f ms\n", ms);
    return 0;
}
