// Renovek entry point. The updater dialog grows here; for now the program opens its
// main dialog from the resource template and ends when the dialog is closed.
#include <windows.h>

#include "resource.h"

namespace {

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDCANCEL || LOWORD(wparam) == IDOK) {
            EndDialog(dialog, LOWORD(wparam));
            return TRUE;
        }
        break;
    case WM_CLOSE:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_RENOVEK_DIALOG), nullptr, MainDialogProc, 0);
    return result == -1 ? 1 : 0;
}
