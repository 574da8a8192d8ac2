# Rendering and measuring a few seconds of sound, several times over.
set_tests_properties(music_synthesizer PROPERTIES TIMEOUT 300)
