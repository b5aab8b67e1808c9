// The application: its forms, the main thread's message loop, the default error handler,
// and the hidden window through which worker threads wake the main thread.
#pragma once
#include "framework/forms.h"

#include <atomic>
#include <exception>
#include <memory>
#include <string>
#include <vector>

class TApplication {
  public:
    TApplication() = default;
    ~TApplication();
    TApplication(const TApplication &) = delete;
    TApplication &operator=(const TApplication &) = delete;

    // Common controls, and the wake-up window that runs the calls worker threads queue for
    // the main thread.
    void Initialize();
    // Creates a form owned by the application; the first one becomes the main form.
    template <class T> void CreateForm(T *&Reference) {
        auto form = std::make_unique<T>(nullptr);
        Reference = form.get();
        if (!MainForm) MainForm = Reference;
        FForms.push_back(std::move(form));
    }
    // Shows the main form and runs the message loop until the main form closes.
    void Run();
    // Handles every message already queued, then returns.
    void ProcessMessages();
    // One message: dialog keys of its top-level window, then translation and dispatch.
    void DispatchOne(MSG &Msg);
    // Ends the message loop.
    void Terminate();
    bool Terminated() const { return FTerminated; }
    // The default handler: the error's text (with a closing full stop) in a message box with
    // the error icon, captioned with Title, owned by the modal form if one runs (a box enables
    // its owner when it closes: the main form would take commands under the modal one).
    void HandleException(const std::exception &E);
    // Frees the forms, newest first.
    void FreeForms();

    std::string Title;
    TForm *MainForm = nullptr;
    // The form whose modal loop runs now (the innermost), or null.
    TForm *ModalForm = nullptr;
    // The hidden window that owns the top-level forms other than the main one, so that only
    // the main window has a taskbar button; null before Initialize.
    HWND Handle() const;

  private:
    static LRESULT CALLBACK UtilityWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static void Wake();

    std::vector<std::unique_ptr<TForm>> FForms;
    bool FTerminated = false;
};

extern TApplication *Application;
