// SPDX-License-Identifier: MIT
// tavirel.exe [FOLDER]: the window, on FOLDER or else on the program's own folder.
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <string>

#include "event_pump.h"
#include "frm_main.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    // The folder picker is a shell dialog, which wants COM on this thread.
    OleInitialize(nullptr);
    tavirel::FrmMain::Options options;
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc > 2 || (argc == 2 && (argv[1][0] == L'-' || argv[1][0] == L'/'))) {
        MessageBoxW(nullptr, L"用法：tavirel.exe [目录]", L"Tavirel", MB_OK | MB_ICONINFORMATION);
        LocalFree(argv);
        return 2;
    }
    if (argc == 2) {
        // A folder given with a separator at its end is the same folder.
        std::u16string folder(reinterpret_cast<const char16_t*>(argv[1]));
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
    OleUninitialize();
    return status;
}
