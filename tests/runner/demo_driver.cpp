// Clicks through one unpack-only run of a product for scripts/demo.sh, pausing wherever a
// screenshot is worth taking. Protocol on standard output: "SHOT <name>" (then waits for a line
// on standard input, sent once the picture is taken), and finally "EXIT <code>".
#include <windows.h>

#include <cstdio>
#include <string>

#include "e2e_driver.h"

namespace {

constexpr int kUnpackOnlyBox = 1005;
constexpr int kProgressBar = 1001;

void Shot(const char* name) {
    std::printf("SHOT %s\n", name);
    std::fflush(stdout);
    char line[64];
    if (std::fgets(line, sizeof line, stdin) == nullptr) {
        Sleep(500);
    }
}

int Fail(const char* what) {
    std::printf("FAIL %s\n", what);
    std::fflush(stdout);
    return 100;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: demo_driver PRODUCT.exe\n");
        return 100;
    }
    e2e::Process product;
    if (!product.Start(e2e::WindowsPath(argv[1]), "")) return Fail("cannot start the product");

    HWND confirm = e2e::WaitDialog(product.pid(), [](HWND w) {
        return !e2e::IsMessageBox(w) && e2e::HasControl(w, kUnpackOnlyBox);
    });
    if (confirm == nullptr) return Fail("no confirmation dialog");
    Sleep(300);  // let it paint
    Shot("confirmation");
    e2e::Click(confirm, kUnpackOnlyBox);
    Sleep(300);
    Shot("unpack-only-ticked");
    e2e::Click(confirm, IDOK);

    // A small package is unpacked in a blink; the window may be gone before it is found.
    HWND progress = e2e::WaitDialog(
        product.pid(),
        [](HWND w) { return !e2e::IsMessageBox(w) && e2e::HasControl(w, kProgressBar); }, 3000);
    if (progress != nullptr) Shot("progress");
    if (HWND box = e2e::WaitMessageBox(product.pid(), 1000)) {
        Shot("message");
        e2e::Click(box, IDOK);
    }
    const int64_t code = product.WaitExit();
    std::printf("EXIT %lld\n", static_cast<long long>(code));
    std::fflush(stdout);
    return code < 0 ? 100 : static_cast<int>(code);
}
