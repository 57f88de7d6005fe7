#include "console/windows.h"

#include "console/Unit1.h"
#include "console/Unit2.h"
#include "console/about.h"
#include "console/nastr.h"

namespace tandrel::console {

void CreateWindows() {
    Form1 = new TForm1();
    Form2 = new TForm2(Form1);
    AboutBox = new TAboutBox(Form1);
    Form3 = new TForm3(Form1);
    Form1->BindWindows();
}

void DestroyWindows() {
    // The secondary windows are children of the main window and go with it.
    delete Form1;
    Form1 = nullptr;
    Form2 = nullptr;
    AboutBox = nullptr;
    Form3 = nullptr;
}

}  // namespace tandrel::console
