#include "transport_host.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "atlbase.h"
#include "libloaderapi.h"
#include "milter_log.h"
#include "objbase.h"
#include "pellicor_version.h"
#include "registry_hold.h"
#include "registry_read_scope.h"
#include "out_of_office_marker.h"
#include "winreg.h"

namespace pellicor::milter {

namespace {

// No judgement waits on the hive longer than this; past it the reply is delivered.
constexpr auto kHiveWait = std::chrono::milliseconds(100);

// The loader's status when a registered library cannot be loaded.
constexpr HRESULT kLibraryNotFound = static_cast<HRESULT>(0x800401F8);

Judgement Failure(Step step, HRESULT hr) {
    Judgement judgement;
    judgement.failed = true;
    const char* loadError = GetLastLoadLibraryError();
    judgement.reason = FailureReason(step, hr, loadError ? loadError : "");
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
    rc = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                          nullptr);
    RegCloseKey(key);
    return rc;
}

std::string Status(HRESULT hr) {
    char text[16];
    snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

}  // namespace

std::string FailureReason(Step step, HRESULT hr, const std::string& loadError) {
    const std::string hive = platform::registry::hivePath();
    const std::string reRegister = "run pellicor-regsvr " PELLICOR_INSTALLED_SINK_LIBRARY;
    const std::string status = " (" + Status(hr) + ")";
    const std::string loader = loadError.empty() ? "" : " (" + loadError + ")";
    if (hr == E_OUTOFMEMORY) return "out of memory; the milter goes on with the next message" + status;
    switch (step) {
    case Step::BuildMessage: return "the message could not be read as a mail message" + status;
    case Step::Marker: return "the out-of-office marker could not read the message's header" + status;
    case Step::CreateSink:
        if (hr == CO_E_CLASSSTRING || hr == REGDB_E_CLASSNOTREG)
            return "Pellicor.Sink is not registered in " + hive + ": " + reRegister + status;
        if (hr == kLibraryNotFound)
            return "the library registered for Pellicor.Sink in " + hive + " cannot be loaded" + loader +
                   ": install it there, or " + reRegister + status;
        if (hr == E_NOINTERFACE)
            return "the class registered as Pellicor.Sink in " + hive + " is not a message sink: " + reRegister +
                   status;
        return "Pellicor.Sink in " + hive + " could not be created: " + reRegister + status;
    case Step::MessageEvent:
        if (hr == kLibraryNotFound || hr == REGDB_E_CLASSNOTREG)
            return "the sink could not create the message component it reads the message with" + loader +
                   ": the platform's classes in " + hive + " are missing or broken; " + reRegister + status;
        return "the sink failed to judge the message" + status;
    }
    return "judging the message failed" + status;
}

TransportHost::TransportHost() : hiveWarning_([](const std::string& line) { LogError("%s", line.c_str()); }) {}

TransportHost::~TransportHost() { Shutdown(); }

void TransportHost::Shutdown() {
    std::lock_guard<std::mutex> lock(sinkMutex_);
    cachedSink_.Release();
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
    CComPtr<IUnknown> created;
    hr = CoCreateInstance(sinkClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&created));
    if (FAILED(hr)) return hr;
    // Kept for later messages only when the sink allows it, as the event system does.
    CComPtr<IEventIsCacheable> cacheable;
    if (SUCCEEDED(created->QueryInterface(IID_IEventIsCacheable, reinterpret_cast<void**>(&cacheable))) &&
        cacheable->IsCacheable() == S_OK) {
        created->AddRef();
        cachedSink_.Attach(created);
    }
    *sink = created.Detach();
    return S_OK;
}

Judgement TransportHost::Judge(std::string content, const platform::smtp::Envelope& envelope) try {
    // The check below and the sink read one committed state of the hive, and wait
    // for it no longer than kHiveWait all told.
    platform::registry::ReadScope scope;
    platform::registry::HiveDeadline deadline(kHiveWait);
    const std::string path = platform::registry::hivePath();
    auto unreadable = [&](LSTATUS status, Judgement judgement) {
        int systemError = status == ERROR_TIMEOUT ? 0 : platform::registry::HiveSystemError();
        std::string reason = RegistryFailureReason(status, systemError, platform::registry::isDatabaseLocation(path));
        hiveWarning_.Report(path, reason);
        judgement.failed = true;
        judgement.deleted = false;
        judgement.reason = "the registry " + path + " cannot be read: " + reason;
        return judgement;
    };
    LSTATUS hive = ReadHiveStatus();
    if (hive != ERROR_SUCCESS) return unreadable(deadline.reached() ? ERROR_TIMEOUT : hive, Judgement());
    hiveWarning_.Report(path, "");

    // Held so that every way out, a bad_alloc included, releases them.
    CComPtr<IMailMsgProperties> message;
    HRESULT hr = platform::smtp::CreateMailMessage(std::move(content), envelope, &message);
    if (FAILED(hr)) return Failure(Step::BuildMessage, hr);

    Judgement judgement;
    platform::smtp::Recognition recognition;
    hr = platform::smtp::RunOutOfOfficeMarker(message, platform::smtp::IsNullSender(envelope.sender), &recognition);
    const bool recognised = SUCCEEDED(hr) && recognition.kind == platform::smtp::MessageKind::OutOfOffice;
    judgement.evidence = recognition.Reason();
    CComPtr<IUnknown> sink;
    if (FAILED(hr)) judgement = Failure(Step::Marker, hr);
    else if (FAILED(hr = AcquireSink(&sink))) judgement = Failure(Step::CreateSink, hr);
    judgement.recognised = recognised;

    if (sink) {
        platform::smtp::Verdict verdict = platform::smtp::Verdict::Delivered;
        hr = platform::smtp::FireMessageEvent(sink, message, &verdict);
        if (FAILED(hr)) judgement = Failure(Step::MessageEvent, hr);
        else judgement.deleted = verdict == platform::smtp::Verdict::Deleted;
    }
    // A wait cut short may have left the sink a rule list it could not read.
    if (deadline.reached()) return unreadable(ERROR_TIMEOUT, judgement);
    return judgement;
} catch (const std::bad_alloc&) {
    return Failure(Step::BuildMessage, E_OUTOFMEMORY);
}

}  // namespace pellicor::milter
