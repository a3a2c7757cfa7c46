#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <optional>

class DataSet;
class ScheduleTable;
class MainState;

// The interface language: the phrase table aplng, the language setting in
// apsel, and the translation of window texts and stored schedule words.
namespace InterfaceLanguage {

// Column of aplng for a language number: "1" lang3 (English), "2" lang2
// (Traditional Chinese), "3" lang1 (Simplified Chinese), "4".."6"
// lang4..lang6; anything else lang1.
QString column(const QString &languageCode);
// The same map without the default: no column for other numbers.
std::optional<QString> sourceColumn(const QString &languageCode);

// The key column of texts designed in English, and of the pop-up menu
// items designed in Simplified Chinese.
inline const QString kEnglishKey = QStringLiteral("lang3");
inline const QString kMenuKey = QStringLiteral("lang1");

// The statement every phrase read uses (with its trailing blank).
inline const QString kPhraseQuery = QStringLiteral("select * from aplng ");
inline const QString kSettingQuery = QStringLiteral("select * from apsel");

// One translatable text of a window: how to read and replace it, and the
// aplng column it is compared with.
struct TextSlot
{
    QString keyColumn;
    std::function<QString()> get;
    std::function<void(const QString &)> set;
};

// Window texts: one pass over aplng; for each row, every slot in turn whose
// current text equals the row's key column gets the row's target column
// (an empty column gives an empty text). A slot is compared in its current
// state, so a replaced text meets the following rows as replaced. Returns
// false when the pass stopped at a failure; texts replaced so far stay.
bool translate(DataSet &phraseQuery, const QVector<TextSlot> &textSlots, const QString &targetColumn);

// Texts built in code (messages and their button captions), keyed by their
// English wording, translated in place into the language of
// `languageCode` in one pass. A text without a row stays as it is.
bool translateTexts(DataSet &phraseQuery, QStringList &texts, const QString &languageCode);
QString lookup(DataSet &phraseQuery, const QString &english, const QString &languageCode);

// Rewrites the mode, frequency and date words of every schedule row from
// the previous language's words to the current language's, saving each
// changed row at once. Nothing happens when the previous number has no
// column or both numbers select the same column. Stops at the first
// failure; rows saved before stay changed.
bool translateScheduleWords(DataSet &phraseQuery, ScheduleTable &schedule, const QString &previousLanguageCode,
                            const QString &languageCode);

// Reads the language setting into `state` (both fields are emptied first).
// Returns whether the first-run mark is set; the query stays open on the
// row so that the language window can save it.
bool readSetting(DataSet &settingQuery, MainState &state);

// Saves a choice from the language window into the setting row the query
// is open on: the chosen number (entry index + 1), the number in force
// before (from `languageCode`), and the first-run mark "N". Throws
// StoreError when nothing can be saved (no row, a non-numeric code).
void saveChoice(DataSet &settingQuery, int entryIndex, const QString &languageCode);

}  // namespace InterfaceLanguage
