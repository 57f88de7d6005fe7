#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <memory>

#include "console/label_render.h"
#include "labels/zpl_layout.h"
#include "sim/label_picture.h"

namespace tandrel::sim {
namespace {

// Fonts need a GUI application; the simulator has no window, so it never needs a display.
void EnsureGuiApplication() {
    if (QGuiApplication::instance() != nullptr) return;
    static int argc = 3;
    static char name[] = "tandrel-sim", option[] = "-platform", platform[] = "offscreen";
    static char* argv[] = {name, option, platform, nullptr};
    static std::unique_ptr<QGuiApplication> app = std::make_unique<QGuiApplication>(argc, argv);
}

}  // namespace

void PrepareLabelPictures() {
    EnsureGuiApplication();
    console::RenderLabel(labels::LayOutZpl("^XA^FO0,0^A0N,20,20^FDx^FS^XZ"));
}

std::string SaveLabelPicture(const std::string& zpl, const std::filesystem::path& path) {
    EnsureGuiApplication();
    const QImage image = console::RenderLabel(labels::LayOutZpl(zpl));
    const std::filesystem::path temporary =
        path.parent_path() / ("." + path.filename().string() + ".tmp");
    if (!image.save(QString::fromStdString(temporary.string()), "PNG")) {
        std::remove(temporary.c_str());
        return "cannot write " + temporary.string();
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return "cannot write " + path.string();
    }
    return "";
}

}  // namespace tandrel::sim
