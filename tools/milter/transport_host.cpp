#include "transport_host.h"

#include <cstdio>
#include <new>

#include "milter_log.h"
#include "objbase.h"
#include "out_of_office_marker.h"
#include "registry_hold.h"
#include "winreg.h"

namespace pellicor_milter {

namespace {

std::string StatusText(const char* step, HRESULT hr) {
    char text[96];
    snprintf(text, sizeof text, "%s failed (0x%08X)", step, static_cast<unsigned>(hr));
    return text;
}

Judgement Failure(const char* step, HRESULT hr) {
    Judgement judgement;
    judgement.failed = true;
    judgement.reason = StatusText(step, hr);
    return judgement;
}

// The sink answers "not in the list" for a list it cannot read, which for the
// exempting lists would condemn a reply: the host looks at the hive first.
LSTATUS ReadHiveStatus() {
    HKEY key;
    LSTATUS rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Orlenby\\Pellicor", 0, KEY_READ, &key);
    if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;  // no lists: nothing is condemned
    if (rc != ERROR_SUCCESS) return rc;
    DWORD values = 0;
    rc = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                          nullptr, nullptr);
    RegCloseKey(key);
    return rc;
}

}  // namespace

TransportHost::TransportHost() : hiveWarning_([](const std::string& line) { LogError("%s", line.c_str()); }) {}

TransportHost::~TransportHost() { Shutdown(); }

void TransportHost::Shutdown() {
    std::lock_guard<std::mutex> lock(sinkMutex_);
    if (cachedSink_) cachedSink_->Release();
    cachedSink_ = nullptr;
}

HRESULT TransportHost::AcquireSink(IUnknown** sink) {
    std::lock_guard<std::mutex> lock(sinkMutex_);
    if (cachedSink_) {
        cachedSink_->AddRef();
        *sink = cachedSink_;
        return S_OK;
    }
    CLSID sinkClass{};
    HRESULT hr = CLSIDFromProgID(u"Pellicor.Sink", &sinkClass);
    if (FAILED(hr)) return hr;
    IUnknown* created = nullptr;
    hr = CoCreateInstance(sinkClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&created));
    if (FAILED(hr)) return hr;
    // Kept for later messages only when the sink allows it, as the event system does.
    IEventIsCacheable* cacheable = nullptr;
    if (SUCCEEDED(created->QueryInterface(IID_IEventIsCacheable, reinterpret_cast<void**>(&cacheable)))) {
        if (cacheable->IsCacheable() == S_OK) {
            created->AddRef();
            cachedSink_ = created;
        }
        cacheable->Release();
    }
    *sink = created;
    return S_OK;
}

Judgement TransportHost::Judge(std::string content, const platform::smtp::Envelope& envelope) try {
    LSTATUS hive = ReadHiveStatus();
    hiveWarning_.Report(platform::registry::hivePath(), hive == ERROR_SUCCESS ? "" : RegistryFailureReason(hive));
    if (hive != ERROR_SUCCESS) return Failure("reading the registry", static_cast<HRESULT>(hive));

    IMailMsgProperties* message = nullptr;
    HRESULT hr = platform::smtp::CreateMailMessage(std::move(content), envelope, &message);
    if (FAILED(hr)) return Failure("building the mail message", hr);

    Judgement judgement;
    hr = platform::smtp::RunOutOfOfficeMarker(message, platform::smtp::IsNullSender(envelope.sender), nullptr);
    IUnknown* sink = nullptr;
    if (FAILED(hr)) judgement = Failure("the out-of-office marker", hr);
    else if (FAILED(hr = AcquireSink(&sink))) judgement = Failure("creating Pellicor.Sink", hr);

    if (sink) {
        platform::smtp::Verdict verdict = platform::smtp::Verdict::Delivered;
        hr = platform::smtp::FireMessageEvent(sink, message, &verdict);
        if (FAILED(hr)) judgement = Failure("the message event", hr);
        else judgement.deleted = verdict == platform::smtp::Verdict::Deleted;
        sink->Release();
    }
    message->Release();
    return judgement;
} catch (const std::bad_alloc&) {
    return Failure("allocating memory", E_OUTOFMEMORY);
}

}  // namespace pellicor_milter
