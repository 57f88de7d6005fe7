#include "console/application.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QTranslator>

namespace tandrel::console {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

TApplication* TApplication::Instance() {
    return dynamic_cast<TApplication*>(QCoreApplication::instance());
}

void TApplication::HandleException(std::exception_ptr error) noexcept {
    if (!handler_) return;
    try {
        handler_(error);
    } catch (...) {
        // The handler itself failing must not end the program.
    }
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException(std::current_exception());
        return false;
    }
}

void LoadProgramFonts() {
    if (QFontDatabase::families().contains(QStringLiteral("Tahoma"))) return;
    for (const char* path :
         {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/fonts/truetype/wine/tahoma.ttf"}) {
        if (QFile::exists(path) && QFontDatabase::addApplicationFont(path) >= 0) return;
    }
}

bool LoadQtTranslations() {
    auto* translator = new QTranslator(QCoreApplication::instance());
    const QString folders[] = {
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations")),
        QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    for (const QString& folder : folders) {
        if (translator->load(QStringLiteral("qtbase_ru"), folder)) {
            QCoreApplication::installTranslator(translator);
            return true;
        }
    }
    delete translator;
    return false;
}

}  // namespace tandrel::console
