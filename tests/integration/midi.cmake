# MIDI kit against real services: a private dummy JACK server (and, once
# more, a private PipeWire) with
# jack_midi_dump as consumer, and the ALSA sequencer with aseqdump where the
# machine has /dev/snd/seq.
zimbrel_add_test(midi_jack_integration_test ${CMAKE_CURRENT_LIST_DIR}/midi_jack_test.cpp
    LIBS zb_midi)
zimbrel_add_pipewire_run(midi_jack_integration_test)
zimbrel_add_test(midi_alsa_integration_test ${CMAKE_CURRENT_LIST_DIR}/midi_alsa_test.cpp
    LIBS zb_midi)
