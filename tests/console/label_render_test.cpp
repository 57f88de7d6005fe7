// Labels drawn as the preview and the simulator draw them: where the ink lands must agree with
// the layout arithmetic, so the picture shows what the printer would print.

#include "console/label_render.h"

#include <QImage>
#include <QtTest>
#include <numeric>

#include "base/cp1251.h"
#include "console/application.h"
#include "labels/label.h"
#include "labels/zpl_layout.h"

using namespace tandrel;
using namespace tandrel::console;

namespace {

// The bounding box of the dark pixels inside region; empty when there are none.
QRect InkBox(const QImage& image, const QRect& region) {
    QRect ink;
    const QRect area = region.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128) ink |= QRect(x, y, 1, 1);
    return ink;
}

QRect ToRect(const labels::TZplBox& b) {
    return QRect(b.X, b.Y, b.Width, b.Height);
}

std::string Joined(const std::vector<std::string>& writes) {
    return std::accumulate(writes.begin(), writes.end(), std::string());
}

void SaveScreen(const QImage& image, const char* name) {
    QDir().mkpath(QStringLiteral(TANDREL_SCREENS_DIR));
    const QString path = QStringLiteral(TANDREL_SCREENS_DIR "/") + QLatin1String(name);
    QVERIFY2(image.save(path), qPrintable(path));
}

}  // namespace

class LabelRenderTest : public QObject {
    Q_OBJECT

  private slots:
    // Every text line's ink lies in its box and fills most of its width: the cells are the
    // printer's, the font only approximates them. Nothing is drawn outside the text boxes.
    void textLinesFillTheirBoxes_data() {
        QTest::addColumn<QByteArray>("zpl");
        QTest::addColumn<QString>("screen");
        job::SizeRow row;
        row.Fields[0] = "123";
        row.Caption = "Дверь 2100 x 800 левая"_cp1251;
        const auto standard = labels::SplitTemplateLines(labels::kDefaultTemplate);
        auto bytes = [](const std::string& s) { return QByteArray(s.data(), qsizetype(s.size())); };
        QTest::newRow("default template")
            << bytes(Joined(labels::LabelWrites(standard, "", row, 1)))
            << QStringLiteral("label-default.png");
        QTest::newRow("fixed label, caption")
            << bytes(Joined(labels::LabelWrites(standard, "", row, 0)))
            << QStringLiteral("label-fixed.png");
        QTest::newRow("fixed label, test text")
            << bytes(Joined(labels::LabelWrites(
                   standard, "Testovaya pechat, Тестовая печать =)"_cp1251, row, 1)))
            << QStringLiteral("label-test.png");
        QTest::newRow("UTF-8 field block, centred")
            << QByteArray(
                   "^XA^CI28^PW400^FO20,20^A0N,40,24^FB360,2,4,C,0^FDРама левая "
                   "2100^FS^XZ")
            << QString();
    }
    void textLinesFillTheirBoxes() {
        QFETCH(QByteArray, zpl);
        QFETCH(QString, screen);
        const labels::TZplLayout layout = labels::LayOutZpl(zpl.toStdString());
        const QImage image = RenderLabel(layout);
        QCOMPARE(image.size(), QSize(layout.Width, layout.Height));
        QRect all;
        for (const auto& e : layout.Elements) {
            for (const auto& line : e.Lines) {
                const QRect box = ToRect(line.Box);
                all |= box;
                // Lines of a block touch one another: look beside a line, not above or below it.
                const QRect ink = InkBox(image, box.adjusted(-4, 0, 4, 0));
                QVERIFY2(!ink.isEmpty(), line.Utf8.c_str());
                QVERIFY2(box.contains(ink), line.Utf8.c_str());
                QVERIFY2(ink.width() >= box.width() * 8 / 10, line.Utf8.c_str());
                QVERIFY2(ink.height() >= box.height() / 2, line.Utf8.c_str());
            }
        }
        QVERIFY(all.contains(InkBox(image, image.rect())));
        if (!screen.isEmpty()) SaveScreen(image, qPrintable(screen));
    }

    // Bars start and end exactly where the module arithmetic puts them; each bar is whole
    // modules wide.
    void barcodeWidthsAreTheModules_data() {
        QTest::addColumn<QByteArray>("zpl");
        QTest::newRow("^BY3, digits")
            << QByteArray("^XA^BY3^FO20,10^BCN,80,Y,N,N,A^FD12345678^FS^XZ");
        QTest::newRow("default module") << QByteArray("^XA^FO5,5^BCN,40,N^FDAB-1234^FS^XZ");
        QTest::newRow("module 1, ^FT") << QByteArray("^XA^BY1^FT10,60^BCN,50^FDabc^FS^XZ");
    }
    void barcodeWidthsAreTheModules() {
        QFETCH(QByteArray, zpl);
        const labels::TZplLayout layout = labels::LayOutZpl(zpl.toStdString());
        QCOMPARE(layout.Elements.size(), std::size_t(1));
        const auto& e = layout.Elements[0];
        const QImage image = RenderLabel(layout);
        QCOMPARE(InkBox(image, ToRect(e.Box).adjusted(-3, 0, 3, 0)), ToRect(e.Box));
        // Along the middle of the bars: runs of dark and light pixels are the widths in modules.
        const int y = e.Box.Y + e.Box.Height / 2;
        std::vector<int> runs;
        bool dark = true;
        int run = 0;
        for (int x = e.Box.X; x < e.Box.X + e.Box.Width; ++x) {
            const bool d = qGray(image.pixel(x, y)) < 128;
            if (d != dark) {
                runs.push_back(run / e.Module);
                QCOMPARE(run % e.Module, 0);
                run = 0;
                dark = d;
            }
            ++run;
        }
        runs.push_back(run / e.Module);
        QCOMPARE(runs, e.Bars);
        if (QTest::currentDataTag() == QByteArray("^BY3, digits"))
            SaveScreen(image, "label-barcode.png");
    }

    void aHugeLabelIsCutToAPictureThatFitsInMemory() {
        const QImage image =
            RenderLabel(labels::LayOutZpl("^XA^PW32000^LL32000^FO0,0^GB32000,32000,1^FS^XZ"));
        QCOMPARE(image.size(), QSize(kMaxPictureDots, kMaxPictureDots));
        QCOMPARE(qGray(image.pixel(0, 0)), 0);
    }

    void reversedFieldsInvertWhatLiesBelow() {
        const auto layout =
            labels::LayOutZpl("^XA^PW100^LL60^FO0,0^GB100,60,60^FS^FO10,10^FR^GB40,20,20^FS^XZ");
        const QImage image = RenderLabel(layout);
        QCOMPARE(qGray(image.pixel(5, 5)), 0);      // the black box
        QCOMPARE(qGray(image.pixel(20, 20)), 255);  // the reversed box cut out of it
        QCOMPARE(qGray(image.pixel(70, 20)), 0);
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    LoadProgramFonts();
    LabelRenderTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "label_render_test.moc"
