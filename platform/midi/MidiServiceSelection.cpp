#include "platform/midi/MidiServiceSelection.h"

#include "platform/midi/alsa/AlsaMidiService.h"
#include "platform/midi/inprocess/InProcessMidiService.h"
#include "platform/midi/jack/JackMidiService.h"

std::unique_ptr<MidiService> ChooseMidiService(
    const char* setting, const std::string& clientName, std::string* announcement)
{
    const std::string choice = setting && *setting ? setting : "auto";
    std::unique_ptr<MidiService> service;
    std::string jackError;
    std::string alsaError;
    if (choice == "auto") {
        service = OpenJackMidiService(clientName, false, &jackError);
        if (!service)
            service = OpenAlsaMidiService(clientName, &alsaError);
        if (!service) {
            *announcement = "MIDI service: none available (" + jackError + "; " + alsaError + ")";
            return nullptr;
        }
    } else if (choice == "jack") {
        // Asked for by name, JACK is waited for when no server runs yet.
        service = OpenJackMidiService(clientName, true, &jackError);
        if (!service) {
            *announcement = "MIDI service: none (ZIMBREL_MIDI=jack: " + jackError + ")";
            return nullptr;
        }
    } else if (choice == "alsa") {
        service = OpenAlsaMidiService(clientName, &alsaError);
        if (!service) {
            *announcement = "MIDI service: none (ZIMBREL_MIDI=alsa: " + alsaError + ")";
            return nullptr;
        }
    } else if (choice == "inprocess") {
        service = std::make_unique<InProcessMidiService>();
    } else if (choice == "none") {
        *announcement = "MIDI service: none (ZIMBREL_MIDI=none)";
        return nullptr;
    } else {
        *announcement = "MIDI service: none (unknown ZIMBREL_MIDI value \"" + choice +
                        "\"; use auto, jack, alsa, inprocess or none)";
        return nullptr;
    }
    *announcement = "MIDI service: " + service->Description();
    return service;
}
