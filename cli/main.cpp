#include "CliTool.h"
#include "FileOutput.h"

#include <cstdio>
#include <iostream>
#include <ostream>

#ifdef _WIN32
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>
#endif

int main(int argc, char** argv) {
    std::vector<std::string> args;
#ifdef _WIN32
    // argv holds the arguments in the ANSI code page, which loses what it cannot store:
    // take them from the wide command line, as UTF-8, and print UTF-8 as well.
    (void)argv;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 0; wide && i < argc; ++i) {
        int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(size > 0 ? size - 1 : 0, '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), size, nullptr, nullptr);
        args.push_back(std::move(arg));
    }
    LocalFree(wide);
    SetConsoleOutputCP(CP_UTF8);
#else
    args.assign(argv, argv + argc);
#endif
    tarsun::FileOutput outBuffer(stdout), errBuffer(stderr);
    std::ostream out(&outBuffer), err(&errBuffer);
    err << std::unitbuf;  // each message out before the next step
    return tarsun::runTool(args, std::cin, out, err);
}
