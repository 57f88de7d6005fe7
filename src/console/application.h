#pragma once
// The application object: routes every exception that escapes a window handler to the
// handler the main window installs (AppException), so that a failed operator action simply
// stops and the program goes on.

#include <QApplication>
#include <exception>
#include <functional>

namespace tandrel::console {

class TApplication : public QApplication {
  public:
    TApplication(int& argc, char** argv);

    using ExceptionHandler = std::function<void(std::exception_ptr)>;
    // Installed by the main window's FormCreate. Without one, exceptions are discarded.
    void SetExceptionHandler(ExceptionHandler handler) { handler_ = std::move(handler); }
    // Hands an exception to the installed handler; never throws.
    void HandleException(std::exception_ptr error) noexcept;

    bool notify(QObject* receiver, QEvent* event) override;

    static TApplication* Instance();

  private:
    ExceptionHandler handler_;
};

// Adds Tahoma from the system's font folders where the system itself has none (it comes
// with Wine's fonts on Linux), so that the large type looks the same everywhere.
void LoadProgramFonts();

// Installs Qt's own Russian texts (the open dialog's and the message boxes' buttons): from a
// "translations" folder beside the program first (as the Windows package ships them), then from
// Qt's own translations folder. Returns false when neither has them; Qt's English stays then.
bool LoadQtTranslations();

}  // namespace tandrel::console
