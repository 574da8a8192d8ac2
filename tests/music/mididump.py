"""Reads a MIDI file with mido and prints what it holds as one JSON object.

Usage: mididump.py FILE

Prints {"type", "ticks_per_beat", "length", "tracks": [[message, ...], ...]},
each message with its absolute time in ticks ("at"), its type and the fields
of that type. Text is decoded as UTF-8. Exits with 3 when mido is missing.
"""
import json
import sys

try:
    import mido
except ImportError:
    sys.stderr.write("mido is not installed\n")
    sys.exit(3)


def text_of(msg):
    # mido decodes text meta events as Latin-1; the writer stores UTF-8.
    return msg.text.encode("latin-1").decode("utf-8")


def main():
    midi = mido.MidiFile(sys.argv[1])
    tracks = []
    for track in midi.tracks:
        at = 0
        out = []
        for msg in track:
            at += msg.time
            item = {"at": at, "type": msg.type}
            if msg.type in ("note_on", "note_off"):
                item.update(note=msg.note, velocity=msg.velocity, channel=msg.channel)
            elif msg.type == "program_change":
                item.update(program=msg.program, channel=msg.channel)
            elif msg.type in ("lyrics", "track_name", "text"):
                item.update(text=text_of(msg) if msg.type != "track_name" else
                            msg.name.encode("latin-1").decode("utf-8"))
            elif msg.type == "set_tempo":
                item.update(tempo=msg.tempo)
            elif msg.type == "time_signature":
                item.update(numerator=msg.numerator, denominator=msg.denominator)
            elif msg.type == "key_signature":
                item.update(key=msg.key)
            out.append(item)
        tracks.append(out)
    json.dump({"type": midi.type, "ticks_per_beat": midi.ticks_per_beat,
               "length": midi.length, "tracks": tracks}, sys.stdout, ensure_ascii=False)


main()
