#pragma once
// "Брокер…" of the settings window: the station's log-in to the plant's broker (user name and
// password) and its TLS files (the plant's CA, the station's certificate with its key), with
// "Проверить", which tries them once off the window's thread. Its values go back to the settings
// window, which applies them with the rest at "Применить".

#include <QDialog>
#include <functional>
#include <string>

#include "console/Unit1.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace tandrel::console {

class TBrokerDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TBrokerDialog(QWidget* parent = nullptr);

    QLineEdit* User = nullptr;
    QLineEdit* Password = nullptr;  // empty: the stored one stays
    QLineEdit* CaFile = nullptr;
    QLineEdit* CertFile = nullptr;
    QPushButton* CaChoose = nullptr;
    QPushButton* CertChoose = nullptr;
    QPushButton* Check = nullptr;  // "Проверить"
    QLabel* Outcome = nullptr;

    // Shows setup; the broker and station stay as given, for "Проверить".
    void Show(const TFeedSetup& setup, bool passwordStored);
    TFeedSetup Setup() const;

    // The file chooser's dialog; tests replace it. Returns the file, empty when cancelled.
    std::function<QString(const QString& start)> ChooseFile;
    // "Проверить": what a setup is worth; runs on a thread of its own.
    std::function<std::string(const TFeedSetup&)> CheckSetup;

  signals:
    void Checked();  // the outcome is shown

  private:
    void CheckClick();
    TFeedSetup shown_;
    int checks_ = 0;  // an older check's outcome is not shown over a newer one's
};

}  // namespace tandrel::console
