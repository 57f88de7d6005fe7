#include "feed/mqtt_client.h"

#include <mosquitto.h>

#include <mutex>

namespace tandrel::feed {

struct TMqttClient::TImpl {
    mosquitto* Mosq = nullptr;
    TMqttEvents Events;
    bool Up = true;  // false once the connection is refused or lost
};

namespace {
void OnConnect(mosquitto*, void* user, int rc) {
    auto* impl = static_cast<TMqttClient::TImpl*>(user);
    if (rc != 0) {
        impl->Up = false;
        if (impl->Events.Lost) impl->Events.Lost();
    } else if (impl->Events.Connected) {
        impl->Events.Connected();
    }
}

void OnDisconnect(mosquitto*, void* user, int) {
    auto* impl = static_cast<TMqttClient::TImpl*>(user);
    if (!impl->Up) return;
    impl->Up = false;
    if (impl->Events.Lost) impl->Events.Lost();
}

void OnPublish(mosquitto*, void* user, int mid) {
    auto* impl = static_cast<TMqttClient::TImpl*>(user);
    if (impl->Events.Delivered) impl->Events.Delivered(mid);
}
}  // namespace

void TMqttClient::InitLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

TMqttClient::TMqttClient(const std::string& clientId, TMqttEvents events)
    : impl_(std::make_unique<TImpl>()) {
    InitLibrary();
    impl_->Events = std::move(events);
    impl_->Mosq = mosquitto_new(clientId.empty() ? nullptr : clientId.c_str(), true, impl_.get());
    if (!impl_->Mosq) return;
    mosquitto_connect_callback_set(impl_->Mosq, OnConnect);
    mosquitto_disconnect_callback_set(impl_->Mosq, OnDisconnect);
    mosquitto_publish_callback_set(impl_->Mosq, OnPublish);
}

TMqttClient::~TMqttClient() {
    if (impl_->Mosq) mosquitto_destroy(impl_->Mosq);
}

void TMqttClient::SetWill(const std::string& topic, std::string_view payload) {
    if (!impl_->Mosq) return;
    mosquitto_will_set(impl_->Mosq, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                       1, true);
}

bool TMqttClient::Connect(const std::string& host, int port, int keepAliveSeconds) {
    if (!impl_->Mosq) return false;
    impl_->Up = true;
    return mosquitto_connect_async(impl_->Mosq, host.c_str(), port, keepAliveSeconds) ==
           MOSQ_ERR_SUCCESS;
}

bool TMqttClient::Loop(int timeoutMs) {
    if (!impl_->Mosq || !impl_->Up) return false;
    const int rc = mosquitto_loop(impl_->Mosq, timeoutMs, 1);
    if (rc != MOSQ_ERR_SUCCESS && impl_->Up) {
        impl_->Up = false;
        if (impl_->Events.Lost) impl_->Events.Lost();
    }
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
