// setup.exe: binds the entry procedure Main to the program's start.
#include <windows.h>

#include "handles.h"
#include "install.h"
#include "program.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    ferrolin::LoadLibrariesFromSystemFolderOnly();
    ferrolin::EndIfAnotherSetupRuns();
    ferrolin::com_apartment apartment;
    ferrolin::RunProcedure(ferrolin::Main);
    // The pages end the program; Main returns only when the first page's loop was broken.
    ferrolin::EndProgram(ferrolin::SetupEnd::Unfinished);
}
