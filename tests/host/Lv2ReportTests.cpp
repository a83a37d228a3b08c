// What the built LV2 binary tells its host about parameter values, seen at the plug-in's own
// interface: a host that shows LV2 parameters learns their values only from the patch:Set
// messages the plug-in sends, so a fresh instance must send all of its values, a patch:Get must
// be answered with them, and a restored state must send the restored ones.

#include "EngineParameters.h"

#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

#include <array>
#include <dlfcn.h>
#include <map>
#include <string>
#include <vector>

namespace quorvane::hosttest
{
namespace
{

constexpr auto pluginUri = "https://brennwick.example/plugins/quorvane";
constexpr int blockSize = 512;

/** The least a host must offer the framework's LV2 wrapper, and nothing else: URIDs, the options
    with the maximum block length, bounded block lengths. Ports as the wrapper declares them:
    audio 0-3, control events in 4 and out 5, latency 6, free-wheeling 7, enabled 8. */
class MinimalLv2Host
{
public:
    MinimalLv2Host()
    {
        const auto binary = juce::File (QUORVANE_LV2_BUNDLE).getChildFile ("libQuorvane.so");
        library = dlopen (binary.getFullPathName().toRawUTF8(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr)
            return;

        auto* entry = reinterpret_cast<LV2_Descriptor_Function> (dlsym (library, "lv2_descriptor"));
        descriptor = entry != nullptr ? entry (0) : nullptr;
        if (descriptor == nullptr || std::string (descriptor->URI) != pluginUri)
            return;

        mapFeatureData = { this, [] (LV2_URID_Map_Handle self, const char* uri) {
                              return static_cast<MinimalLv2Host*> (self)->map (uri);
                          } };
        blockLength = blockSize;
        options = { { LV2_OPTIONS_INSTANCE, 0, map (LV2_BUF_SIZE__maxBlockLength), sizeof (int32_t),
                      map (LV2_ATOM__Int), &blockLength },
                    { LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr } };
        features[0] = { LV2_URID__map, &mapFeatureData };
        features[1] = { LV2_OPTIONS__options, options.data() };
        features[2] = { LV2_BUF_SIZE__boundedBlockLength, nullptr };
        const LV2_Feature* list[] = { &features[0], &features[1], &features[2], nullptr };

        instance = descriptor->instantiate (descriptor, 48000.0, QUORVANE_LV2_BUNDLE, list);
        if (instance == nullptr)
            return;

        for (int p = 0; p < 4; ++p)
            descriptor->connect_port (instance, (uint32_t) p, audio[p].data());
        descriptor->connect_port (instance, 4, eventsIn.data());
        descriptor->connect_port (instance, 5, eventsOut.data());
        descriptor->connect_port (instance, 6, &latency);
        descriptor->connect_port (instance, 7, &freeWheeling);
        descriptor->connect_port (instance, 8, &enabled);
        descriptor->activate (instance);
    }

    ~MinimalLv2Host()
    {
        if (instance != nullptr)
        {
            descriptor->deactivate (instance);
            descriptor->cleanup (instance);
        }
        if (library != nullptr)
            dlclose (library);
    }

    bool isReady() const { return instance != nullptr; }

    /** Runs one block of silence, sending a patch:Set for each (URI suffix, 0..1 value) given,
        and a patch:Get (no subject: "all your values") if asked, and returns the parameter
        values the plug-in reported (URI suffix to value). */
    std::map<std::string, float> run (const std::map<std::string, float>& toSet = {}, bool askForValues = false)
    {
        LV2_Atom_Forge forge;
        lv2_atom_forge_init (&forge, &mapFeatureData);
        lv2_atom_forge_set_buffer (&forge, reinterpret_cast<uint8_t*> (eventsIn.data()), eventsIn.size() * 8);
        LV2_Atom_Forge_Frame sequence;
        lv2_atom_forge_sequence_head (&forge, &sequence, 0);
        for (const auto& [suffix, value] : toSet)
        {
            LV2_Atom_Forge_Frame object;
            lv2_atom_forge_frame_time (&forge, 0);
            lv2_atom_forge_object (&forge, &object, 0, map (LV2_PATCH__Set));
            lv2_atom_forge_key (&forge, map (LV2_PATCH__property));
            lv2_atom_forge_urid (&forge, map ((std::string (pluginUri) + ":" + suffix).c_str()));
            lv2_atom_forge_key (&forge, map (LV2_PATCH__value));
            lv2_atom_forge_float (&forge, value);
            lv2_atom_forge_pop (&forge, &object);
        }
        if (askForValues)
        {
            LV2_Atom_Forge_Frame object;
            lv2_atom_forge_frame_time (&forge, 0);
            lv2_atom_forge_object (&forge, &object, 0, map (LV2_PATCH__Get));
            lv2_atom_forge_pop (&forge, &object);
        }
        lv2_atom_forge_pop (&forge, &sequence);

        // The host tells the plug-in how much room the output sequence has.
        auto* out = reinterpret_cast<LV2_Atom_Sequence*> (eventsOut.data());
        out->atom.type = map (LV2_ATOM__Sequence);
        out->atom.size = (uint32_t) (eventsOut.size() * 8 - sizeof (LV2_Atom));

        descriptor->run (instance, blockSize);

        std::map<std::string, float> reported;
        const std::string prefix = std::string (pluginUri) + ":";
        LV2_ATOM_SEQUENCE_FOREACH (out, event)
        {
            const auto* object = reinterpret_cast<const LV2_Atom_Object*> (&event->body);
            if (event->body.type != map (LV2_ATOM__Object) || object->body.otype != map (LV2_PATCH__Set))
                continue;
            const LV2_Atom* property = nullptr;
            const LV2_Atom* value = nullptr;
            lv2_atom_object_get (object, map (LV2_PATCH__property), &property, map (LV2_PATCH__value), &value, 0);
            if (property == nullptr || value == nullptr || property->type != map (LV2_ATOM__URID)
                || value->type != map (LV2_ATOM__Float))
                continue;
            const auto uri = unmap (reinterpret_cast<const LV2_Atom_URID*> (property)->body);
            if (uri.rfind (prefix, 0) == 0)
                reported[uri.substr (prefix.size())] = reinterpret_cast<const LV2_Atom_Float*> (value)->body;
        }
        return reported;
    }

    /** The plug-in's saved state, as the host would keep it (key URI to string value). */
    std::map<std::string, std::string> save()
    {
        std::map<std::string, std::string> stored;
        std::pair<MinimalLv2Host*, std::map<std::string, std::string>*> handle { this, &stored };
        if (const auto* state = stateInterface())
            state->save (
                instance,
                [] (LV2_State_Handle h, uint32_t key, const void* value, size_t size, uint32_t, uint32_t)
                {
                    auto& self = *static_cast<decltype (handle)*> (h);
                    (*self.second)[self.first->unmap (key)] = std::string (static_cast<const char*> (value), size);
                    return (LV2_State_Status) LV2_STATE_SUCCESS;
                },
                &handle, 0, nullptr);
        return stored;
    }

    /** Restores a state that save() returned. */
    bool restore (const std::map<std::string, std::string>& stored)
    {
        const auto* state = stateInterface();
        if (state == nullptr)
            return false;
        std::pair<MinimalLv2Host*, const std::map<std::string, std::string>*> handle { this, &stored };
        const auto retrieve = [] (LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type,
                                  uint32_t* flags) -> const void*
        {
            auto& self = *static_cast<decltype (handle)*> (h);
            const auto found = self.second->find (self.first->unmap (key));
            if (found == self.second->end())
                return nullptr;
            *size = found->second.size();
            *type = self.first->map (LV2_ATOM__String);
            *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
            return found->second.data();
        };
        return state->restore (instance, retrieve, &handle, 0, nullptr) == LV2_STATE_SUCCESS;
    }

private:
    LV2_URID map (const char* uri)
    {
        const auto [it, added] = urids.emplace (uri, (LV2_URID) urids.size() + 1);
        if (added)
            uris.push_back (uri);
        return it->second;
    }

    std::string unmap (LV2_URID urid) const
    {
        return urid >= 1 && urid <= uris.size() ? uris[urid - 1] : std::string();
    }

    const LV2_State_Interface* stateInterface() const
    {
        return descriptor->extension_data != nullptr
                   ? static_cast<const LV2_State_Interface*> (descriptor->extension_data (LV2_STATE__interface))
                   : nullptr;
    }

    void* library = nullptr;
    const LV2_Descriptor* descriptor = nullptr;
    LV2_Handle instance = nullptr;
    std::map<std::string, LV2_URID> urids;
    std::vector<std::string> uris;
    LV2_URID_Map mapFeatureData {};
    int32_t blockLength = 0;
    std::vector<LV2_Options_Option> options;
    LV2_Feature features[3] {};
    std::array<std::vector<float>, 4> audio { std::vector<float> (blockSize), std::vector<float> (blockSize),
                                              std::vector<float> (blockSize), std::vector<float> (blockSize) };
    std::vector<uint64_t> eventsIn = std::vector<uint64_t> (8192), eventsOut = std::vector<uint64_t> (8192);
    float latency = 0.0f, freeWheeling = 0.0f, enabled = 1.0f;
};

TEST (Lv2ValueReports, AFreshInstanceReportsEveryValueWithItsFirstBlockAndThenOnlyChanges)
{
    MinimalLv2Host host;
    ASSERT_TRUE (host.isReady()) << "the LV2 binary did not instantiate";

    const auto first = host.run();
    EXPECT_EQ (first.size(), (size_t) param::count);
    for (int i = 0; i < param::count; ++i)
    {
        const auto& info = parameterInfo (i);
        const auto found = first.find (info.identifier);
        ASSERT_NE (found, first.end()) << info.identifier << " was not reported";
        EXPECT_EQ (found->second, defaultNormalised (info)) << info.identifier;
    }

    // A value the host sets is the host's already: it is not echoed, and nothing else repeats.
    EXPECT_TRUE (host.run ({ { "decay", 0.25f } }).empty());
    EXPECT_TRUE (host.run().empty());
}

// How hosts ask (a generic editor opening, say): the answer comes with the same block.
TEST (Lv2ValueReports, APatchGetIsAnsweredWithEveryCurrentValue)
{
    MinimalLv2Host host;
    ASSERT_TRUE (host.isReady());
    host.run();
    host.run ({ { "decay", 0.25f }, { "earlySend", 0.75f } });

    const auto answer = host.run ({}, true);
    EXPECT_EQ (answer.size(), (size_t) param::count);
    for (int i = 0; i < param::count; ++i)
    {
        const auto& info = parameterInfo (i);
        const std::string identifier = info.identifier;
        const float expected = identifier == "decay"       ? 0.25f
                               : identifier == "earlySend" ? 0.75f
                                                           : defaultNormalised (info);
        const auto found = answer.find (identifier);
        ASSERT_NE (found, answer.end()) << identifier << " was not reported";
        EXPECT_EQ (found->second, expected) << identifier;
    }
    EXPECT_TRUE (host.run().empty()) << "the answer is sent once";
}

TEST (Lv2ValueReports, ARestoredStateReportsTheRestoredValues)
{
    std::map<std::string, std::string> saved;
    {
        MinimalLv2Host original;
        ASSERT_TRUE (original.isReady());
        original.run();
        original.run ({ { "decay", 0.25f }, { "mix", 0.4f }, { "type", 0.5f } });
        saved = original.save();
        ASSERT_FALSE (saved.empty()) << "no state saved";
    }

    MinimalLv2Host restored;
    ASSERT_TRUE (restored.isReady());
    restored.run();
    ASSERT_TRUE (restored.restore (saved));
    const auto reported = restored.run();
    EXPECT_EQ (reported.size(), (size_t) param::count);
    const std::map<std::string, float> expected { { "decay", 0.25f }, { "mix", 0.4f }, { "type", 0.5f },
                                                  { "predelay", defaultNormalised (parameterInfo (param::predelay)) } };
    for (const auto& [identifier, value] : expected)
    {
        const auto found = reported.find (identifier);
        ASSERT_NE (found, reported.end()) << identifier << " was not reported";
        EXPECT_EQ (found->second, value) << identifier;
    }
}

} // namespace
} // namespace quorvane::hosttest
