// Load-time start-up of Windows Sockets for the upload library; Windows only.
#include <winsock2.h>
#include <windows.h>

// Windows Sockets 1.1 must be granted exactly, else the library refuses to load.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    static bool started = false;
    if (reason == DLL_PROCESS_ATTACH) {
        WSADATA data{};
        if (WSAStartup(MAKEWORD(1, 1), &data) != 0)
            return FALSE;
        if (LOBYTE(data.wVersion) != 1 || HIBYTE(data.wVersion) != 1) {
            WSACleanup();
            MessageBoxA(nullptr, "Windows Sockets 1.1 is not available.", "Varnel",
                        MB_OK | MB_ICONSTOP);
            return FALSE;
        }
        started = true;
    } else if (reason == DLL_PROCESS_DETACH && started) {
        WSACleanup();
        started = false;
    }
    return TRUE;
}
