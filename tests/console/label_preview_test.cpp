// The label preview through the real windows: the information window's "Этикетка" shows the
// label the next step would print.

#include "console/label_preview.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>
#include <fstream>

#include "base/cp1251.h"
#include "console/Unit2.h"
#include "console/application.h"
#include "console/qt_text.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;

namespace {
QStringList Listed(const TLabelPreview* preview) {
    QStringList out;
    for (int i = 0; i < preview->Unknown->count(); ++i) out << preview->Unknown->item(i)->text();
    return out;
}

std::string Caption(const TLabelPreview* preview) {
    return Cp1251ToUtf8(ControlText(preview->Caption));
}
}  // namespace

class LabelPreviewTest : public QObject {
    Q_OBJECT

  private slots:
    void theButtonShowsTheNextStepsLabel() {
        TProgramDir dir;
        const auto list = dir.Path() / "plan.txt";
        std::ofstream(list) << "1000 A <E1111>\r\n1100 B <E1222>\r\n";
        StartWindows();
        Form1->Link.MinSize = 0;
        Form1->Link.MaxSize = 5000;
        QCOMPARE(ToQ(FromQ(Form2->Button1->text())), ToQ("Этикетка"_cp1251));

        // No list: the fixed label with the test text, 45 x 32 mm.
        Form2->show();
        QTest::mouseClick(Form2->Button1, Qt::LeftButton);
        TLabelPreview* preview = Form2->LabelPreview();
        QVERIFY(preview != nullptr);
        QVERIFY(preview->isVisible());
        QCOMPARE(preview->Picture->pixmap().size(), QSize(360, 256));
        QCOMPARE(Caption(preview), std::string("Тестовая этикетка  (45 x 32 мм)"));
        QVERIFY(preview->Unknown->count() == 0);

        // A list: the default template filled with the row the next step works.
        Form1->LoadList(list.string());
        QTest::mouseClick(Form2->Button1, Qt::LeftButton);
        QCOMPARE(preview->Picture->pixmap().size(), QSize(360, 72));
        QCOMPARE(Caption(preview), std::string("Строка 1: A  (45 x 9 мм)"));
        QCOMPARE(Form2->NextLabel().Zpl, std::string("^XA^PW360^FO10,00^ASN,70,70^FD111^FS^XZ"));
        Form1->BitBtn1->click();
        QCOMPARE(Form2->NextLabel().Zpl, std::string("^XA^PW360^FO10,00^ASN,70,70^FD222^FS^XZ"));
        QTest::mouseClick(Form2->Button1, Qt::LeftButton);
        QCOMPARE(Caption(preview), std::string("Строка 2: B  (45 x 9 мм)"));
        QDir().mkpath(QStringLiteral(TANDREL_SCREENS_DIR));
        QVERIFY(preview->grab().save(QStringLiteral(TANDREL_SCREENS_DIR "/label-preview.png")));
        Form1->BitBtn1->click();  // the last row: nothing is left, the test label is shown
        QCOMPARE(Form2->NextLabel().Caption, "Тестовая этикетка"_cp1251);
    }

    // A template for a Unicode font: the preview gets the UTF-8 the printer would get, and lists
    // what it cannot draw.
    void aUtf8TemplateAndUnknownCommands() {
        TProgramDir dir;
        dir.Write("etik.eti",
                  "^XA^CI28\r\n^FO0,0^A0N,40,30^FD<E1>^FS\r\n^FO0,50^BQN,2,4^FDQA,x^FS\r\n~JA^XZ");
        const auto list = dir.Path() / "plan.txt";
        std::ofstream(list) << "1000 Рама <E1Рама левая>\r\n"_cp1251;
        StartWindows();
        Form1->LoadList(list.string());
        QCOMPARE(
            Form2->NextLabel().Zpl,
            std::string("^XA^CI28^FO0,0^A0N,40,30^FDРама левая^FS^FO0,50^BQN,2,4^FDQA,x^FS~JA^XZ"));
        Form2->Button1Click();
        const QStringList listed = Listed(Form2->LabelPreview());
        QCOMPARE(listed, (QStringList{QStringLiteral("^BQN,2,4"), QStringLiteral("~JA")}));
    }
};

int main(int argc, char** argv) {
    TApplication app(tandrel::console::testing::ProgramArgc(), argv);
    LoadProgramFonts();
    LabelPreviewTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "label_preview_test.moc"
