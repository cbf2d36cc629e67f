// filespack's entry: the arguments as UTF-8 on every system, then the verbs.
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "tools/filespack/command_line/cli.h"
#include "tools/filespack/verbs/commands.h"
#include "tools/filespack/output/progress_bar.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

std::vector<std::string> Arguments(int argc, char** argv) {
#ifdef _WIN32
    // The narrow arguments are in the ANSI code page and lose what it cannot hold.
    (void)argc;
    (void)argv;
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 0; wide && i < count; ++i) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(static_cast<size_t>(size > 0 ? size : 1), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), size, nullptr, nullptr);
        arg.resize(arg.size() - 1);
        args.push_back(std::move(arg));
    }
    LocalFree(wide);
    return args;
#else
    return std::vector<std::string>(argv, argv + argc);
#endif
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Names are written in UTF-8; a console must be told so, and given its own code page back,
    // since the setting outlives this process.
    const UINT console_code_page = GetConsoleOutputCP();
    if (console_code_page != 0) SetConsoleOutputCP(CP_UTF8);
#endif
    ToolIo io{std::cout, std::cerr, StderrIsTerminal(), std::nullopt, ""};
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) io.source_date_epoch = epoch;
    int code = EXIT_PROBLEM;
    try {
        code = RunFilespack(Arguments(argc, argv), io);
    } catch (const std::exception& e) {
        Complain(io, EXIT_PROBLEM, e.what());
    }
    std::cout.flush();
#ifdef _WIN32
    if (console_code_page != 0) SetConsoleOutputCP(console_code_page);
#endif
    return code;
}
