#include "feed/mqtt_client.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <cstring>
#include <mutex>

#include "feed/feed_platform.h"

namespace tandrel::feed {

struct TMqttClient::TImpl {
    mosquitto* Mosq = nullptr;
    TMqttEvents Events;
    bool Mqtt5 = true;
    bool Up = true;  // false once the connection is refused or lost
    // What the library said of TLS, for the reason of a failed handshake.
    TMqttEnd::TKind TlsSaid = TMqttEnd::Network;

    void End(TMqttEnd why) {
        if (!Up) return;
        Up = false;
        if ((why.Kind == TMqttEnd::Network || why.Kind == TMqttEnd::Tls) &&
            TlsSaid != TMqttEnd::Network)
            why.Kind = TlsSaid;
        if (Events.Lost) Events.Lost(why);
    }
};

namespace {
void OnConnect(mosquitto*, void* user, int rc, int, const mosquitto_property*) {
    auto* impl = static_cast<TMqttClient::TImpl*>(user);
    if (rc != 0)
        impl->End({TMqttEnd::Refused, ConnackReason(rc, impl->Mqtt5)});
    else if (impl->Events.Connected)
        impl->Events.Connected();
}

void OnDisconnect(mosquitto*, void* user, int rc, const mosquitto_property*) {
    auto* impl = static_cast<TMqttClient::TImpl*>(user);
    // The library's own errors are small numbers; a broker's DISCONNECT reason is 0x80 or more.
    impl->End(rc >= 0x80 ? TMqttEnd{TMqttEnd::Disconnected, rc} : TMqttEnd{});
}

void OnPublish(mosquitto*, void* user, int mid, int reason, const mosquitto_property*) {
    auto* impl = static_cast<TMqttClient::TImpl*>(user);
    if (impl->Events.Delivered) impl->Events.Delivered(mid, reason);
}

void OnLog(mosquitto*, void* user, int level, const char* text) {
    auto* impl = static_cast<TMqttClient::TImpl*>(user);
    if (level != MOSQ_LOG_ERR || text == nullptr) return;
    if (std::strstr(text, "host name verification failed"))
        impl->TlsSaid = TMqttEnd::NameMismatch;
    else if (std::strstr(text, "certificate verify failed") && impl->TlsSaid == TMqttEnd::Network)
        impl->TlsSaid = TMqttEnd::Untrusted;
    else if (std::strstr(text, "OpenSSL Error") && impl->TlsSaid == TMqttEnd::Network)
        impl->TlsSaid = TMqttEnd::Tls;
}

// A key file with a pass phrase is refused before it gets here; should one slip through, the
// library must not ask for it on a console nobody watches.
int NoPassPhrase(char*, int, int, void*) {
    return 0;
}
}  // namespace

int ConnackReason(int code, bool mqtt5) {
    if (mqtt5) return code;
    switch (code) {
        case 1:
            return kReasonUnsupportedProtocol;
        case 2:
            return 0x85;  // client identifier not valid
        case 3:
            return 0x88;  // server unavailable
        case 4:
            return kReasonBadLogin;
        case 5:
            return kReasonNotAuthorized;
        default:
            return code;
    }
}

void TMqttClient::InitLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

TMqttClient::TMqttClient(const TMqttOptions& options, TMqttEvents events)
    : impl_(std::make_unique<TImpl>()) {
    InitLibrary();
    impl_->Events = std::move(events);
    impl_->Mqtt5 = options.Mqtt5;
    mosquitto* m = mosquitto_new(options.ClientId.empty() ? nullptr : options.ClientId.c_str(),
                                 true, impl_.get());
    impl_->Mosq = m;
    if (!m) return;
    mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION,
                         options.Mqtt5 ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
    mosquitto_int_option(m, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_v5_callback_set(m, OnConnect);
    mosquitto_disconnect_v5_callback_set(m, OnDisconnect);
    mosquitto_publish_v5_callback_set(m, OnPublish);
    mosquitto_log_callback_set(m, OnLog);
    if (!options.WillTopic.empty())
        mosquitto_will_set(m, options.WillTopic.c_str(),
                           static_cast<int>(options.WillPayload.size()), options.WillPayload.data(),
                           1, true);
    if (!options.User.empty())
        mosquitto_username_pw_set(m, options.User.c_str(),
                                  options.Password.empty() ? nullptr : options.Password.c_str());
    if (!options.CaFile.empty()) {
        const std::string ca = NativePath(options.CaFile), cert = NativePath(options.CertFile);
        const char* certFile = options.CertFile.empty() ? nullptr : cert.c_str();
        if (mosquitto_tls_set(m, ca.c_str(), nullptr, certFile, certFile, NoPassPhrase) !=
            MOSQ_ERR_SUCCESS)
            impl_->TlsSaid = TMqttEnd::Tls;
        mosquitto_tls_opts_set(m, 1, nullptr, nullptr);  // the broker's certificate is checked
    }
}

TMqttClient::~TMqttClient() {
    if (impl_->Mosq) mosquitto_destroy(impl_->Mosq);
}

bool TMqttClient::Connect(const std::string& host, int port, int keepAliveSeconds, TMqttEnd& why) {
    why = {impl_->TlsSaid, 0};
    if (!impl_->Mosq || impl_->TlsSaid != TMqttEnd::Network) return false;
    impl_->Up = true;
    const int rc = mosquitto_connect_async(impl_->Mosq, host.c_str(), port, keepAliveSeconds);
    why = {impl_->TlsSaid != TMqttEnd::Network ? impl_->TlsSaid
           : rc == MOSQ_ERR_TLS                ? TMqttEnd::Tls
                                               : TMqttEnd::Network,
           0};
    return rc == MOSQ_ERR_SUCCESS;
}

bool TMqttClient::Loop(int timeoutMs) {
    if (!impl_->Mosq || !impl_->Up) return false;
    const int rc = mosquitto_loop(impl_->Mosq, timeoutMs, 1);
    if (rc != MOSQ_ERR_SUCCESS)
        impl_->End({rc == MOSQ_ERR_TLS ? TMqttEnd::Tls : TMqttEnd::Network, 0});
    return impl_->Up;
}

int TMqttClient::Publish(const std::string& topic, std::string_view payload, int qos, bool retain) {
    if (!impl_->Mosq) return -1;
    int mid = 0;
    const int rc = mosquitto_publish(impl_->Mosq, &mid, topic.c_str(),
                                     static_cast<int>(payload.size()), payload.data(), qos, retain);
    return rc == MOSQ_ERR_SUCCESS ? mid : -1;
}

void TMqttClient::Disconnect() {
    if (impl_->Mosq) mosquitto_disconnect(impl_->Mosq);
    impl_->Up = false;
}

}  // namespace tandrel::feed
