#include "feed/feed_check.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "base/cp1251.h"
#include "base/files.h"
#include "feed/feed_session.h"
#include "feed/mqtt_client.h"

namespace tandrel::feed {

std::string TlsFilesFault(const std::filesystem::path& caFile,
                          const std::filesystem::path& certFile) {
    if (caFile.empty()) return certFile.empty() ? std::string() : "нет сертификата центра"_cp1251;
    const auto ca = ReadWholeFile(caFile);
    if (!ca) return "сертификат центра не читается"_cp1251;
    if (ca->find("-----BEGIN CERTIFICATE-----") == std::string::npos)
        return "в файле центра нет сертификата PEM"_cp1251;
    if (certFile.empty()) return {};
    const auto cert = ReadWholeFile(certFile);
    if (!cert) return "сертификат станции не читается"_cp1251;
    if (cert->find("-----BEGIN CERTIFICATE-----") == std::string::npos)
        return "в файле станции нет сертификата PEM"_cp1251;
    // A key behind a pass phrase would need someone at the station to type it at every start.
    if (cert->find("ENCRYPTED") != std::string::npos)
        return "ключ станции зашифрован: нужен ключ без пароля"_cp1251;
    if (cert->find("PRIVATE KEY-----") == std::string::npos)
        return "в файле станции нет ключа"_cp1251;
    return {};
}

std::string CheckBroker(const TFeedConfig& config, std::chrono::milliseconds limit) {
    if (std::string fault = TlsFilesFault(config.CaFile, config.CertFile); !fault.empty())
        return fault;
    // The attempt on a thread of its own: a lookup that hangs is left to it.
    struct TOutcome {
        std::mutex Mutex;
        std::condition_variable Done;
        std::optional<std::string> Said;
    };
    auto outcome = std::make_shared<TOutcome>();
    std::thread([outcome, config, limit] {
        const auto say = [&](std::string text) {
            const std::lock_guard lock(outcome->Mutex);
            if (!outcome->Said) outcome->Said = std::move(text);
            outcome->Done.notify_all();
        };
        TMqttOptions options;
        // Not the station's own client ID: the check must not throw a running feed out.
        options.ClientId = "tandrel-" + StationTopicName(config.Station) + "-check";
        options.User = Cp1251ToUtf8(config.User);
        options.Password = config.Password;
        options.CaFile = config.CaFile;
        options.CertFile = config.CertFile;
        bool connected = false;
        std::optional<TMqttEnd> lost;
        TMqttEvents events;
        events.Connected = [&] { connected = true; };
        events.Lost = [&](TMqttEnd why) { lost = why; };
        for (bool mqtt5 : {true, false}) {
            options.Mqtt5 = mqtt5;
            TMqttClient client(options, events);
            TMqttEnd why;
            connected = false;
            lost.reset();
            if (!client.Connect(config.Broker.Host, config.Broker.Port, 30, why)) lost = why;
            const auto until = std::chrono::steady_clock::now() + limit;
            while (!connected && !lost && std::chrono::steady_clock::now() < until) {
                {
                    const std::lock_guard lock(outcome->Mutex);
                    if (outcome->Said) return;  // the caller gave up
                }
                client.Loop(50);
            }
            if (connected) {
                client.Disconnect();
                client.Loop(0);
                return say("подключено"_cp1251);
            }
            if (!lost) return say("брокер не ответил"_cp1251);
            if (lost->Kind == TMqttEnd::Refused && lost->Code == kReasonUnsupportedProtocol)
                continue;
            return say(FailureText(*lost));
        }
        say(FailureText({}));
    }).detach();
    std::unique_lock lock(outcome->Mutex);
    if (!outcome->Done.wait_for(lock, limit + std::chrono::milliseconds(500),
                                [&] { return outcome->Said.has_value(); }))
        outcome->Said = "брокер не ответил"_cp1251;
    return *outcome->Said;
}

}  // namespace tandrel::feed
