// A step's time (a click of Start to the row recorded in the progress file and the journal)
// with the plant feed off, and on with its broker up, through TLS, refusing the pieces, never
// acknowledging, and down. The feed's thread must never show in it. Prints the median, the 95th
// percentile and the worst of each.
// TANDREL_BENCH_SMOKE=1: ten rounds of each instead of two hundred.

#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "base/cp1251.h"
#include "bench_windows.h"
#include "console/Unit1.h"
#include "console/application.h"
#include "console/nastr_file.h"
#include "feed/feed.h"
#include "simulator.h"
#include "support/fake_broker.h"
#include "support/mqtt_broker.h"
#include "support/test_certificates.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;

namespace {

double Measure(int rounds, int& row, const char* what) {
    std::vector<double> ms;
    for (int round = 0; round < rounds; ++round) {
        QTest::qWait(20);  // the timers run between steps, the feed's snapshot among them
        const auto clicked = std::chrono::steady_clock::now();
        Form1->BitBtn1->click();
        const auto done = std::chrono::steady_clock::now();
        if (!Form1->Job.Rows[static_cast<std::size_t>(++row)].Done) {
            std::printf("%s: row %d not recorded\n", what, row);
            return -1;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(done - clicked).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf(
        "Start click to the row recorded, %s: median %.3f ms, 95th percentile %.3f ms, "
        "worst %.3f ms over %d rounds\n",
        what, ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 95 / 100)], ms.back(),
        rounds);
    return ms[ms.size() / 2];
}

// Points the feed at a broker and waits until it says what it should (UTF-8, "" for anything).
bool FeedOn(const TFeedSetup& setup, const char* says) {
    Form1->ApplyFeed(setup);
    for (int i = 0; i < 1000; ++i) {
        const feed::TFeedStatus status = Form1->Feed()->Status();
        if (status.Link == feed::TFeedLink::Connected &&
            (*says == '\0' || status.Text == Utf8ToCp1251(says)))
            return true;
        QTest::qWait(10);
    }
    std::printf("the feed did not say \"%s\" but \"%s\"\n", says,
                Cp1251ToUtf8(Form1->Feed()->Status().Text).c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    const bool smoke = std::getenv("TANDREL_BENCH_SMOKE") != nullptr;
    const int rounds = smoke ? 10 : 200;
    TProgramDir dir;
    TSimulator sim(dir.Path(), {"--ping-ms", "50", "--precision", "1"});
    tandrel::testing::MqttBroker broker(dir.Path() / "broker");
    std::ofstream(dir.Path() / "acl") << "topic write tandrel/bench/status\n"
                                      << "topic write tandrel/bench/state\n";
    tandrel::testing::MqttBroker refusing(dir.Path() / "refusing",
                                          "acl_file " + (dir.Path() / "acl").string());
    tandrel::testing::FakeBroker silent(tandrel::testing::FakeBroker::Kind::NeverAcknowledges);
    tandrel::testing::TestCertificates certs;
    if (!sim.Ready() || !certs.Make(dir.Path() / "certs")) {
        std::puts("simulator or certificates missing");
        return 1;
    }
    tandrel::testing::MqttBroker tls(dir.Path() / "tls", certs.Listener());
    TSettings settings = DefaultSettings(dir.Path());
    settings.DevicePortName = sim.Device();
    WriteSettingsFile(SettingsFilePath(dir.Path()), settings);
    if (!StartLinkedWithList(dir.Path(), 7 * rounds)) return 1;
    int row = 0;
    if (Measure(rounds, row, "feed off") < 0) return 1;

    const auto setup = [](const std::string& address) {
        TFeedSetup s;
        s.Broker = address;
        s.Station = "bench";
        return s;
    };
    if (!FeedOn(setup(broker.Address()), "подключено")) return 1;
    // The feed counts from its start: each case's pieces, once the broker has them.
    const auto acknowledged = [&](const char* what) {
        for (int i = 0; i < 500 && Form1->Feed()->Acknowledged() < rounds; ++i) QTest::qWait(10);
        std::printf("pieces acknowledged %s: %lld of %d\n", what,
                    static_cast<long long>(Form1->Feed()->Acknowledged()), rounds);
    };
    if (Measure(rounds, row, "broker up") < 0) return 1;
    acknowledged("by the broker");

    TFeedSetup secure = setup("127.0.0.1:" + std::to_string(tls.Port()));
    secure.CaFile = certs.Ca;
    if (!FeedOn(secure, "подключено")) return 1;
    if (Measure(rounds, row, "broker through TLS") < 0) return 1;
    acknowledged("through TLS");

    const auto said = [] {
        std::printf("the feed then says: \"MQTT: %s\"\n",
                    Cp1251ToUtf8(Form1->Feed()->Status().Text).c_str());
    };
    if (!FeedOn(setup(refusing.Address()), "")) return 1;
    if (Measure(rounds, row, "broker refusing the pieces") < 0) return 1;
    said();
    if (!FeedOn(setup(silent.Address()), "")) return 1;
    if (Measure(rounds, row, "broker never acknowledging") < 0) return 1;
    said();

    if (!FeedOn(setup(broker.Address()), "подключено")) return 1;
    broker.Stop();
    for (int i = 0; i < 500 && Form1->Feed()->Link() == feed::TFeedLink::Connected; ++i)
        QTest::qWait(10);
    if (Measure(rounds, row, "broker down") < 0) return 1;
    DestroyWindows();
    return 0;
}
