#include "playback/playbacksettings.h"

#include "music/musicrules.h"

#include <QSettings>

namespace {

const music::MusicRules::KeyRule *keyRuleNamed(const QString &name) {
    for (const auto &rule : music::MusicRules::defaults().keys) {
        if (rule.names.value(0) == name) {
            return &rule;
        }
    }
    return nullptr;
}

} // namespace

void PlaybackSettings::read(QSettings &settings) {
    *this = PlaybackSettings();
    settings.beginGroup(QStringLiteral("playback"));
    bool ok = false;
    const int tempo = settings.value(QStringLiteral("tempoPercent")).toInt(&ok);
    if (ok && tempo >= minTempoPercent && tempo <= maxTempoPercent) {
        tempoPercent = tempo;
    }
    if (const auto *rule = keyRuleNamed(settings.value(QStringLiteral("key")).toString())) {
        key = rule->key;
        keyVariant = rule->hasVariant() && settings.value(QStringLiteral("keyVariant")).toBool();
    }
    const QVariant o = settings.value(QStringLiteral("octave"));
    const int octaveValue = o.toInt(&ok);
    if (o.isValid() && ok && octaveValue >= -1 && octaveValue <= 1) {
        octave = octaveValue;
    }
    clicks = settings.value(QStringLiteral("clicks"), clicks).toBool();
    countIn = settings.value(QStringLiteral("countIn"), countIn).toBool();
    soundFont = settings.value(QStringLiteral("soundFont")).toString();
    settings.endGroup();
}

void PlaybackSettings::write(QSettings &settings) const {
    settings.beginGroup(QStringLiteral("playback"));
    settings.setValue(QStringLiteral("tempoPercent"), tempoPercent);
    if (key) {
        const auto *rule = music::MusicRules::defaults().keyRule(*key);
        settings.setValue(QStringLiteral("key"), rule ? rule->names.value(0) : QString());
        settings.setValue(QStringLiteral("keyVariant"), keyVariant);
    } else {
        settings.remove(QStringLiteral("key"));
        settings.remove(QStringLiteral("keyVariant"));
    }
    if (octave) {
        settings.setValue(QStringLiteral("octave"), *octave);
    } else {
        settings.remove(QStringLiteral("octave"));
    }
    settings.setValue(QStringLiteral("clicks"), clicks);
    settings.setValue(QStringLiteral("countIn"), countIn);
    settings.remove(QStringLiteral("loop")); // once stored; a loop is never remembered now
    settings.setValue(QStringLiteral("soundFont"), soundFont);
    settings.endGroup();
}

bool PlaybackSettings::operator==(const PlaybackSettings &o) const {
    return tempoPercent == o.tempoPercent && key == o.key && keyVariant == o.keyVariant &&
           octave == o.octave && clicks == o.clicks && countIn == o.countIn &&
           soundFont == o.soundFont;
}
