#include "framework/application.h"
#include "framework/thread.h"

namespace {
// Posted to the utility window when a worker has queued a call for the main thread.
constexpr UINT WM_WAKEMAIN = WM_APP + 0x100;

std::atomic<HWND> UtilityWindow{nullptr};
TApplication TheApplication;
} // namespace

TApplication *Application = &TheApplication;

TApplication::~TApplication() { FreeForms(); }

void TApplication::Initialize() {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    FTerminated = false;
    if (UtilityWindow.load() && IsWindow(UtilityWindow.load())) return;
    WNDCLASSEXA cls = {};
    if (!GetClassInfoExA(GetModuleHandleA(nullptr), "QuilletUtility", &cls)) {
        cls.cbSize = sizeof(cls);
        cls.lpfnWndProc = &TApplication::UtilityWndProc;
        cls.hInstance = GetModuleHandleA(nullptr);
        cls.lpszClassName = "QuilletUtility";
        RegisterClassExA(&cls);
    }
    UtilityWindow = CreateWindowExA(0, "QuilletUtility", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
    WakeMainThread = &TApplication::Wake;
}

HWND TApplication::Handle() const { return UtilityWindow.load(); }

void TApplication::Wake() {
    HWND hwnd = UtilityWindow.load();
    if (hwnd) PostMessageA(hwnd, WM_WAKEMAIN, 0, 0);
}

LRESULT CALLBACK TApplication::UtilityWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_WAKEMAIN) {
        try {
            CheckSynchronize();
        } catch (const std::exception &e) {
            Application->HandleException(e);
        }
        return 0;
    }
    if (msg == WM_NCDESTROY) {
        HWND self = hwnd;
        UtilityWindow.compare_exchange_strong(self, nullptr);
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void TApplication::DispatchOne(MSG &Msg) {
    HWND root = Msg.hwnd ? GetAncestor(Msg.hwnd, GA_ROOT) : nullptr;
    if (root && root != UtilityWindow.load() && IsDialogMessageA(root, &Msg)) return;
    TranslateMessage(&Msg);
    DispatchMessageA(&Msg);
}

void TApplication::Run() {
    if (MainForm) MainForm->Show();
    MSG msg;
    while (!FTerminated && GetMessageA(&msg, nullptr, 0, 0))
        DispatchOne(msg);
    FTerminated = true;
}

void TApplication::ProcessMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            FTerminated = true;
            PostQuitMessage((int)msg.wParam);
            return;
        }
        DispatchOne(msg);
    }
}

void TApplication::Terminate() {
    FTerminated = true;
    PostQuitMessage(0);
}

void TApplication::HandleException(const std::exception &E) {
    std::string text = E.what();
    if (!text.empty() && (unsigned char)text.back() > '.') text += '.';
    TForm *form = ModalForm ? ModalForm : MainForm;
    HWND owner = form && form->HandleAllocated() ? form->Handle() : nullptr;
    MessageBoxA(owner, text.c_str(), Title.c_str(), MB_OK | MB_ICONERROR);
}

void TApplication::FreeForms() {
    while (!FForms.empty()) {
        TForm *form = FForms.back().get();
        if (MainForm == form) MainForm = nullptr;
        FForms.pop_back();
    }
    MainForm = nullptr;
}
