// SPDX-License-Identifier: MIT
// tavirel.exe [--syntax] [FOLDER]: the window, on FOLDER or else on the program's own folder, with
// the classic rules or the syntax rules.
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <string>

#include "event_pump.h"
#include "frm_main.h"
#include "undo_journal.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    // The folder picker is a shell dialog, which wants COM on this thread.
    OleInitialize(nullptr);
    tavirel::FrmMain::Options options;
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    int folders = 0;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--syntax" || arg == L"/syntax") {
            options.rules = tavirel::RuleSet::Syntax;
            continue;
        }
        if (arg.empty() || arg[0] == L'-' || arg[0] == L'/' || ++folders > 1) {
            MessageBoxW(nullptr, L"用法：tavirel.exe [--syntax] [目录]", L"Tavirel",
                        MB_OK | MB_ICONINFORMATION);
            LocalFree(argv);
            return 2;
        }
        // A folder given with a separator at its end is the same folder.
        std::u16string folder(reinterpret_cast<const char16_t*>(argv[i]));
        while (folder.size() > 3 && (folder.back() == u'\\' || folder.back() == u'/')) folder.pop_back();
        options.startFolder = folder;
    }
    LocalFree(argv);
    tavirel::installEventPump();
    int status;
    {
        tavirel::FrmMain window(options);
        window.start(showCommand);
        status = tavirel::runMessageLoop();
    }
    tavirel::finishForgetting();
    OleUninitialize();
    return status;
}
