#include "platform/midi/MidiKit.h"

#include "platform/midi/MidiLocalConsumer.h"
#include "platform/midi/MidiLocalProducer.h"
#include "platform/midi/MidiServiceSelection.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

bool KindMatches(const BMidiEndpoint& endpoint, MidiKit::Kind kind)
{
    switch (kind) {
    case MidiKit::Kind::kProducer:
        return endpoint.IsProducer();
    case MidiKit::Kind::kConsumer:
        return endpoint.IsConsumer();
    case MidiKit::Kind::kAny:
        break;
    }
    return true;
}

} // namespace

MidiKit& MidiKit::Get()
{
    static MidiKit kit;
    return kit;
}

MidiService* MidiKit::Service()
{
    if (!fChosen.load(std::memory_order_acquire)) {
        std::lock_guard lock(fLock);
        if (!fChosen.load(std::memory_order_relaxed))
            Choose();
    }
    return fService.get();
}

void MidiKit::Choose()
{
    std::string line;
    fService = ChooseMidiService(std::getenv("ZIMBREL_MIDI"), fClientName, &line);
    std::fprintf(stderr, "%s\n", line.c_str());
    fChosen.store(true, std::memory_order_release);
}

void MidiKit::SetClientName(const std::string& name)
{
    MidiService* service = nullptr;
    {
        std::lock_guard lock(fLock);
        fClientName = name;
        if (!fChosen.load(std::memory_order_relaxed))
            return;
        service = fService.get();
    }
    if (service != nullptr)
        service->RenameClient(name.c_str());
}

void MidiKit::InstallService(std::unique_ptr<MidiService> service)
{
    std::lock_guard lock(fLock);
    fService = std::move(service);
    fConsumerSnapshot.reset();
    fChosen.store(true, std::memory_order_release);
}

void MidiKit::Reset()
{
    std::lock_guard lock(fLock);
    fService.reset();
    fConsumerSnapshot.reset();
    fChosen.store(false, std::memory_order_release);
}

int32 MidiKit::NewEndpointId()
{
    static std::atomic<int32> lastId{0};
    return lastId.fetch_add(1) + 1;
}

status_t MidiKit::Release(BMidiEndpoint* endpoint)
{
    bool wasRegistered = false;
    {
        std::lock_guard lock(fLock);
        if (endpoint->fReferences.fetch_sub(1) > 1)
            return B_OK;
        // The last reference: out of the roster and every link in one step,
        // so that no lookup or spray can reach the endpoint again.
        wasRegistered = Unlist(endpoint);
        std::erase_if(fLocalLinks, [endpoint](const auto& link) {
            return link.first == endpoint->ID() || link.second == endpoint;
        });
        fLocalLinkCount.store(fLocalLinks.size());
    }
    if (wasRegistered)
        WithdrawFromService(*endpoint);
    delete endpoint;
    return B_OK;
}

status_t MidiKit::Register(BMidiEndpoint* endpoint)
{
    if (endpoint->IsRemote())
        return B_NOT_ALLOWED;
    if (endpoint->fRegistered)
        return B_OK;
    MidiService* service = Service();
    if (service == nullptr)
        return B_NO_INIT;
    if (endpoint->IsProducer()) {
        const status_t status = service->PublishProducer(endpoint->ID(), endpoint->Name());
        if (status != B_OK)
            return status;
        if (!endpoint->fProperties.IsEmpty())
            service->PublishProperties(endpoint->ID(), endpoint->Name(), endpoint->fProperties);
    } else {
        // The receiver names the consumer by id only: whatever arrives once
        // it is gone finds nothing.
        const int32 id = endpoint->ID();
        const status_t status = service->PublishConsumer(id, endpoint->Name(),
            [id](const uint8* bytes, size_t size) { MidiKit::Get().Deliver(id, bytes, size); });
        if (status != B_OK)
            return status;
    }
    std::lock_guard lock(fLock);
    fLocals[endpoint->ID()] = endpoint;
    endpoint->fRegistered = true;
    return B_OK;
}

status_t MidiKit::Unregister(BMidiEndpoint* endpoint)
{
    if (endpoint->IsRemote())
        return B_NOT_ALLOWED;
    bool wasRegistered = false;
    {
        std::lock_guard lock(fLock);
        wasRegistered = Unlist(endpoint);
    }
    if (!wasRegistered)
        return B_ERROR;
    WithdrawFromService(*endpoint);
    return B_OK;
}

bool MidiKit::Unlist(BMidiEndpoint* endpoint)
{
    if (!endpoint->fRegistered)
        return false;
    fLocals.erase(endpoint->ID());
    endpoint->fRegistered = false;
    return true;
}

void MidiKit::WithdrawFromService(const BMidiEndpoint& endpoint)
{
    if (!fService)
        return;
    if (endpoint.IsProducer())
        fService->WithdrawProducer(endpoint.ID());
    else
        fService->WithdrawConsumer(endpoint.ID());
}

void MidiKit::Deliver(int32 consumerId, const uint8* bytes, size_t size)
{
    BMidiEndpoint* endpoint = AcquireLocal(consumerId, Kind::kConsumer);
    if (endpoint == nullptr)
        return;
    const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    static_cast<BMidiLocalConsumer*>(endpoint)->Receive(bytes, size, bigtime_t(now.count()));
    endpoint->Release();
}

void MidiKit::Rename(BMidiEndpoint* endpoint, const char* name)
{
    if (endpoint->IsRemote())
        return;
    endpoint->fName = name ? name : "";
    if (endpoint->IsProducer() && endpoint->fRegistered && fService)
        fService->RenameProducer(endpoint->ID(), endpoint->Name());
}

status_t MidiKit::SetProperties(BMidiEndpoint* endpoint, const BMessage& properties)
{
    if (endpoint->IsRemote())
        return B_NOT_ALLOWED;
    endpoint->fProperties = properties;
    if (endpoint->IsProducer() && endpoint->fRegistered && fService)
        return fService->PublishProperties(endpoint->ID(), endpoint->Name(), properties);
    return B_OK;
}

bool MidiKit::IsValid(const BMidiEndpoint& endpoint)
{
    if (endpoint.IsLocal())
        return true;
    MidiService* service = Service();
    if (service == nullptr)
        return false;
    const auto consumers = service->Consumers();
    return std::any_of(consumers.begin(), consumers.end(),
                       [&](const MidiPortInfo& port) { return port.id == endpoint.ID(); });
}

status_t MidiKit::Connect(BMidiProducer* producer, BMidiConsumer* consumer)
{
    if (consumer == nullptr)
        return B_BAD_VALUE;
    if (consumer->IsLocal()) {
        std::lock_guard lock(fLock);
        const auto link = std::make_pair(producer->ID(), static_cast<BMidiLocalConsumer*>(consumer));
        if (std::find(fLocalLinks.begin(), fLocalLinks.end(), link) != fLocalLinks.end())
            return B_OK;
        fLocalLinks.push_back(link);
        fLocalLinkCount.store(fLocalLinks.size());
    } else {
        if (!producer->fRegistered) {
            std::fprintf(stderr, "cannot connect \"%s\" to \"%s\": the producer is not registered\n",
                         producer->Name(), consumer->Name());
            return B_NO_INIT;
        }
        if (fService->IsConnected(producer->ID(), consumer->ID()))
            return B_OK;
        const status_t status = fService->Connect(producer->ID(), consumer->ID());
        if (status != B_OK)
            return status;
    }
    producer->ConnectionChanged(consumer, true);
    return B_OK;
}

status_t MidiKit::Disconnect(BMidiProducer* producer, BMidiConsumer* consumer)
{
    if (consumer == nullptr)
        return B_BAD_VALUE;
    if (consumer->IsLocal()) {
        if (!RemoveLocalLink(producer->ID(), consumer))
            return B_OK;
    } else {
        if (!producer->fRegistered || !fService->IsConnected(producer->ID(), consumer->ID()))
            return B_OK;
        const status_t status = fService->Disconnect(producer->ID(), consumer->ID());
        if (status != B_OK)
            return status;
    }
    producer->ConnectionChanged(consumer, false);
    return B_OK;
}

bool MidiKit::RemoveLocalLink(int32 producerId, const BMidiConsumer* consumer)
{
    std::lock_guard lock(fLock);
    const auto removed = std::erase_if(fLocalLinks, [&](const auto& link) {
        return link.first == producerId && link.second == consumer;
    });
    fLocalLinkCount.store(fLocalLinks.size());
    return removed > 0;
}

bool MidiKit::IsConnected(const BMidiProducer* producer, const BMidiConsumer* consumer)
{
    if (consumer == nullptr)
        return false;
    if (consumer->IsLocal()) {
        std::lock_guard lock(fLock);
        return std::any_of(fLocalLinks.begin(), fLocalLinks.end(), [&](const auto& link) {
            return link.first == producer->ID() && link.second == consumer;
        });
    }
    return producer->fRegistered && fService->IsConnected(producer->ID(), consumer->ID());
}

void MidiKit::Spray(const BMidiLocalProducer& producer, const uint8* bytes, size_t size,
                    bigtime_t time)
{
    if (fLocalLinkCount.load() > 0) {
        // Hooks run without the lock, each on a consumer kept alive by a
        // reference of its own, so a hook may use the kit freely. The
        // receivers are gathered on the stack, a batch at a time, so that
        // sending never allocates.
        constexpr size_t kBatch = 16;
        BMidiLocalConsumer* receivers[kBatch];
        size_t skip = 0;
        for (;;) {
            size_t count = 0;
            size_t seen = 0;
            {
                std::lock_guard lock(fLock);
                for (const auto& [producerId, consumer] : fLocalLinks) {
                    if (producerId != producer.ID() || seen++ < skip)
                        continue;
                    if (count == kBatch)
                        break;
                    consumer->Acquire();
                    receivers[count++] = consumer;
                }
            }
            for (size_t i = 0; i < count; ++i) {
                receivers[i]->Receive(bytes, size, time);
                receivers[i]->Release();
            }
            if (count < kBatch)
                break;
            skip += count;
        }
    }
    if (producer.fRegistered && fService)
        fService->Send(producer.ID(), bytes, size);
}

BMidiEndpoint* MidiKit::AcquireLocal(int32 id, Kind kind)
{
    std::lock_guard lock(fLock);
    const auto found = fLocals.find(id);
    if (found == fLocals.end() || !KindMatches(*found->second, kind))
        return nullptr;
    found->second->Acquire();
    return found->second;
}

BMidiEndpoint* MidiKit::Next(int32* id, Kind kind)
{
    MidiService* service = Service();
    if (service == nullptr)
        return nullptr;
    std::optional<int32> nextLocal;
    {
        std::lock_guard lock(fLock);
        for (auto it = fLocals.upper_bound(*id); it != fLocals.end(); ++it) {
            if (KindMatches(*it->second, kind)) {
                nextLocal = it->first;
                break;
            }
        }
    }
    std::optional<MidiPortInfo> nextRemote;
    if (kind != Kind::kProducer)
        nextRemote = NextRemoteConsumer(*service, *id);
    if (nextRemote && (!nextLocal || nextRemote->id < *nextLocal)) {
        *id = nextRemote->id;
        return new BMidiConsumer(nextRemote->name.c_str(), nextRemote->id, false);
    }
    if (!nextLocal)
        return nullptr;
    *id = *nextLocal;
    if (BMidiEndpoint* endpoint = AcquireLocal(*nextLocal, kind))
        return endpoint;
    // Unregistered since the walk above: look further.
    return Next(id, kind);
}

std::optional<MidiPortInfo> MidiKit::NextRemoteConsumer(MidiService& service, int32 id)
{
    // Listing asks the service about every port, so it happens once per walk
    // and outside the lock; another walk starting meanwhile only makes the
    // snapshot newer, which keeps ids increasing for every walker.
    std::unique_lock lock(fLock);
    if (id == 0 || !fConsumerSnapshot) {
        lock.unlock();
        std::vector<MidiPortInfo> listed = service.Consumers();
        lock.lock();
        fConsumerSnapshot = std::move(listed);
    }
    const auto next = std::upper_bound(fConsumerSnapshot->begin(), fConsumerSnapshot->end(), id,
        [](int32 value, const MidiPortInfo& port) { return value < port.id; });
    if (next == fConsumerSnapshot->end())
        return std::nullopt;
    return *next;
}

BMidiEndpoint* MidiKit::Find(int32 id, bool localOnly, Kind kind)
{
    if (BMidiEndpoint* endpoint = AcquireLocal(id, kind))
        return endpoint;
    MidiService* service = Service();
    if (localOnly || kind == Kind::kProducer || service == nullptr)
        return nullptr;
    for (const MidiPortInfo& port : service->Consumers()) {
        if (port.id == id)
            return new BMidiConsumer(port.name.c_str(), port.id, false);
    }
    return nullptr;
}
