#pragma once
// The question before a bulk run: how many people, how many parts, how many SMS in all,
// the start of the text and about how long it takes, so that one click never texts the
// whole list unasked. Other checks (numbers that are not valid, not mobile ...) add their
// lines and their choices to it.

#include <QString>

#include <cstdint>
#include <vector>

#include "app/asker.h"

namespace app {

struct RunQuestion {
    int recipients = 0;
    int partsPerMessage = 1;  // from the encoder, with the run's options
    std::int64_t totalSms = 0;
    QString textStart;         // the first characters of the text, on one line
    bool placeholder = false;  // the text is still the editor's initial text
    std::int64_t seconds = 0;  // the expected duration
    int pauseSeconds = 0;
    // Lines other checks of the list add, shown under the counts ("3 numara geçersiz").
    std::vector<QString> notes;
    // Choices that go with those lines ("Geçersiz numaraları çıkar"), answered in the box.
    std::vector<Asker::Choice> choices;

    // The whole text of the box; its first line is the question itself.
    QString text() const;
};

// The question for `recipients` people and the editor's `text` (line breaks as CR LF)
// sent with or without the Turkish tables, `pauseSeconds` apart.
RunQuestion planRunQuestion(int recipients, const QString& text, bool turkishSevenBit,
                            int pauseSeconds);

// A duration as the user reads it: "yaklaşık 2 saat 5 dakika", "yaklaşık 40 saniye".
QString durationText(std::int64_t seconds);

}  // namespace app
