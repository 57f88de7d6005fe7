#include "console/broker_dialog.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <thread>

#include "base/cp1251.h"
#include "base/files.h"
#include "console/qt_text.h"
#include "console/windows_common.h"

namespace tandrel::console {
namespace {
constexpr int kTouchText = 20;
constexpr int kTouchRow = 40;

QLineEdit* Edit(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMinimumHeight(kTouchRow);
    edit->setMinimumWidth(480);
    return edit;
}

QPushButton* Button(QWidget* parent, const char* name, const std::string& caption) {
    auto* button = new QPushButton(ToQ(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setMinimumHeight(kTouchRow);
    button->setMinimumWidth(140);
    return button;
}
}  // namespace

TBrokerDialog::TBrokerDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("BrokerDialog"));
    setWindowTitle(ToQ("Брокер MQTT"_cp1251));
    setFont(PixelFont("Tahoma", kTouchText));
    auto* form = new QFormLayout;
    User = Edit(this, "BrokerUser");
    Password = Edit(this, "BrokerPassword");
    Password->setEchoMode(QLineEdit::Password);
    CaFile = Edit(this, "BrokerCaFile");
    CaFile->setPlaceholderText(ToQ("пусто: без TLS"_cp1251));
    CertFile = Edit(this, "BrokerCertFile");
    CertFile->setPlaceholderText(ToQ("пусто: без сертификата станции"_cp1251));
    CaChoose = Button(this, "BrokerCaChoose", "Выбрать..."_cp1251);
    CertChoose = Button(this, "BrokerCertChoose", "Выбрать..."_cp1251);
    ChooseFile = [this](const QString& start) {
        return QFileDialog::getOpenFileName(this, ToQ("Сертификат"_cp1251), start,
                                            ToQ("PEM (*.pem *.crt *.cer *.key);;*"_cp1251));
    };
    for (const auto& [edit, choose] :
         {std::pair{CaFile, CaChoose}, std::pair{CertFile, CertChoose}})
        connect(choose, &QPushButton::clicked, this, [this, edit = edit] {
            const QString chosen = ChooseFile(edit->text());
            if (!chosen.isEmpty()) edit->setText(QDir::toNativeSeparators(chosen));
        });
    const auto withButton = [this](QLineEdit* edit, QPushButton* button) {
        auto* row = new QHBoxLayout;
        row->addWidget(edit, 1);
        row->addWidget(button);
        return row;
    };
    form->addRow(ToQ("Пользователь"_cp1251), User);
    form->addRow(ToQ("Пароль"_cp1251), Password);
    form->addRow(ToQ("Сертификат центра"_cp1251), withButton(CaFile, CaChoose));
    form->addRow(ToQ("Сертификат станции"_cp1251), withButton(CertFile, CertChoose));
    Check = Button(this, "BrokerCheck", "Проверить"_cp1251);
    Outcome = new QLabel(this);
    Outcome->setObjectName(QStringLiteral("BrokerOutcome"));
    Outcome->setWordWrap(true);
    Outcome->setMinimumHeight(kTouchRow);
    form->addRow(Check, Outcome);
    connect(Check, &QPushButton::clicked, this, [this] { CheckClick(); });
    auto* ok = Button(this, "BrokerOk", "ОК"_cp1251);
    auto* cancel = Button(this, "BrokerCancel", "Отмена"_cp1251);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
}

void TBrokerDialog::Show(const TFeedSetup& setup, bool passwordStored) {
    shown_ = setup;
    SetControlText(User, setup.User);
    Password->setText(setup.Password ? ToQ(*setup.Password) : QString());
    Password->setPlaceholderText(passwordStored ? ToQ("сохранён; пусто: не менять"_cp1251)
                                                : QString());
    SetControlText(CaFile, PathToCp1251(setup.CaFile).value_or(std::string()));
    SetControlText(CertFile, PathToCp1251(setup.CertFile).value_or(std::string()));
    Outcome->clear();
}

TFeedSetup TBrokerDialog::Setup() const {
    TFeedSetup setup = shown_;
    setup.User = ControlText(User);
    if (!Password->text().isEmpty()) setup.Password = Password->text().toStdString();
    setup.CaFile = Cp1251ToPath(ControlText(CaFile));
    setup.CertFile = Cp1251ToPath(ControlText(CertFile));
    return setup;
}

void TBrokerDialog::CheckClick() {
    if (!CheckSetup) return;
    Outcome->setText(ToQ("Проверяю..."_cp1251));
    Outcome->setStyleSheet(QString());
    const int check = ++checks_;
    QPointer<TBrokerDialog> self(this);
    std::thread([self, check, setup = Setup(), run = CheckSetup] {
        const std::string said = run(setup);
        QMetaObject::invokeMethod(qApp, [self, check, said] {
            if (!self || check != self->checks_) return;
            self->Outcome->setText(ToQ(said));
            self->Outcome->setStyleSheet(
                said == "подключено"_cp1251 ? QString() : QStringLiteral("color: #c00000;"));
            emit self->Checked();
        });
    }).detach();
}

}  // namespace tandrel::console
