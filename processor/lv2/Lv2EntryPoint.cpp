// The LV2 entry point: the framework's descriptor, with patch:Get answered.
//
// Hosts that show LV2 parameters ask a plug-in for their values with a patch:Get message (when a
// generic editor opens, for instance) and expect a patch:Set for each. The framework's LV2
// wrapper ignores patch:Get, so such hosts showed every parameter at 0 until it was touched.
// The build renames the wrapper's own entry point (see cmake/QuorvanePlugin.cmake); this one
// hands out a copy of its descriptor in which run() first looks for a patch:Get among the
// control events and, if there is one, has the processor report every value, which the wrapper
// then sends to the host at the end of that same run. The instance handle stays the wrapper's,
// so its state and editor code, which are given that handle, work unchanged.

#include "processor/Lv2Bridge.h"
#include "processor/Quorvane.h"

#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/patch/patch.h>
#include <lv2/urid/urid.h>

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>

#undef lv2_descriptor

namespace
{

/** What run() needs of one instance, found by its handle without a lock. */
struct Instance
{
    std::atomic<LV2_Handle> handle { nullptr };
    quorvane::Quorvane* processor = nullptr;
    uint32_t controlPort = 0;
    std::atomic<const LV2_Atom_Sequence*> control { nullptr };
    LV2_URID atomObject = 0, atomBlank = 0, patchGet = 0;
};

// More instances than this in one process still work; they only leave patch:Get unanswered.
std::array<Instance, 256> instances;
std::mutex claiming;
const LV2_Descriptor* framework = nullptr;

Instance* find (LV2_Handle handle)
{
    for (auto& instance : instances)
        if (instance.handle.load (std::memory_order_acquire) == handle)
            return &instance;
    return nullptr;
}

const LV2_URID_Map* findMap (const LV2_Feature* const* features)
{
    for (auto* const* f = features; f != nullptr && *f != nullptr; ++f)
        if (std::strcmp ((*f)->URI, LV2_URID__map) == 0)
            return static_cast<const LV2_URID_Map*> ((*f)->data);
    return nullptr;
}

LV2_Handle instantiate (const LV2_Descriptor* descriptor, double rate, const char* bundle,
                        const LV2_Feature* const* features)
{
    quorvane::lv2bridge::lastCreatedProcessor() = nullptr;
    LV2_Handle handle = framework->instantiate (descriptor, rate, bundle, features);
    auto* processor = quorvane::lv2bridge::lastCreatedProcessor();
    quorvane::lv2bridge::lastCreatedProcessor() = nullptr;

    const auto* map = findMap (features);
    if (handle == nullptr || processor == nullptr || map == nullptr)
        return handle;

    const std::lock_guard<std::mutex> lock (claiming);
    for (auto& instance : instances)
        if (instance.handle.load() == nullptr)
        {
            instance.processor = processor;
            // The wrapper numbers its control event input right after the audio ports.
            instance.controlPort =
                (uint32_t) (processor->getTotalNumInputChannels() + processor->getTotalNumOutputChannels());
            instance.control.store (nullptr);
            instance.atomObject = map->map (map->handle, LV2_ATOM__Object);
            instance.atomBlank = map->map (map->handle, LV2_ATOM__Blank);
            instance.patchGet = map->map (map->handle, LV2_PATCH__Get);
            instance.handle.store (handle, std::memory_order_release);
            break;
        }
    return handle;
}

void connectPort (LV2_Handle handle, uint32_t port, void* data)
{
    if (auto* instance = find (handle); instance != nullptr && port == instance->controlPort)
        instance->control.store (static_cast<const LV2_Atom_Sequence*> (data));
    framework->connect_port (handle, port, data);
}

bool asksForValues (const Instance& instance, const LV2_Atom_Sequence* events)
{
    if (events == nullptr)
        return false;
    LV2_ATOM_SEQUENCE_FOREACH (events, event)
    {
        if (event->body.type != instance.atomObject && event->body.type != instance.atomBlank)
            continue;
        if (reinterpret_cast<const LV2_Atom_Object*> (&event->body)->body.otype == instance.patchGet)
            return true;
    }
    return false;
}

void run (LV2_Handle handle, uint32_t samples)
{
    if (auto* instance = find (handle); instance != nullptr && asksForValues (*instance, instance->control.load()))
        instance->processor->announceParametersToHost();
    framework->run (handle, samples);
}

void cleanup (LV2_Handle handle)
{
    if (auto* instance = find (handle))
    {
        const std::lock_guard<std::mutex> lock (claiming);
        instance->handle.store (nullptr);
    }
    framework->cleanup (handle);
}

} // namespace

extern "C" const LV2_Descriptor* quorvane_framework_lv2_descriptor (uint32_t index);

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor (uint32_t index)
{
    const LV2_Descriptor* original = quorvane_framework_lv2_descriptor (index);
    if (original == nullptr)
        return nullptr;

    static const LV2_Descriptor answering = [original] {
        framework = original;
        LV2_Descriptor copy = *original;
        copy.instantiate = instantiate;
        copy.connect_port = connectPort;
        copy.run = run;
        copy.cleanup = cleanup;
        return copy;
    }();
    return &answering;
}
