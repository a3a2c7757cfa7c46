#include "core/interface_language.h"

#include "core/main_state.h"
#include "store/dataset.h"
#include "store/schedule_table.h"

namespace InterfaceLanguage {

std::optional<QString> sourceColumn(const QString &languageCode)
{
    if (languageCode == QLatin1String("1"))
        return QStringLiteral("lang3");
    if (languageCode == QLatin1String("2"))
        return QStringLiteral("lang2");
    if (languageCode == QLatin1String("3"))
        return QStringLiteral("lang1");
    if (languageCode == QLatin1String("4"))
        return QStringLiteral("lang4");
    if (languageCode == QLatin1String("5"))
        return QStringLiteral("lang5");
    if (languageCode == QLatin1String("6"))
        return QStringLiteral("lang6");
    return std::nullopt;
}

QString column(const QString &languageCode)
{
    return sourceColumn(languageCode).value_or(QStringLiteral("lang1"));
}

bool translate(DataSet &phraseQuery, const QVector<TextSlot> &textSlots, const QString &targetColumn)
{
    try {
        phraseQuery.openQuery(kPhraseQuery);
        phraseQuery.first();
        const int rows = phraseQuery.recordCount();
        for (int i = 0; i < rows; ++i) {
            for (const TextSlot &slot : textSlots) {
                if (slot.get() == phraseQuery.text(slot.keyColumn))
                    slot.set(phraseQuery.text(targetColumn));
            }
            phraseQuery.next();
        }
        return true;
    } catch (const StoreError &) {
        return false;
    }
}

bool translateTexts(DataSet &phraseQuery, QStringList &texts, const QString &languageCode)
{
    QVector<TextSlot> textSlots;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        textSlots.push_back(
            {kEnglishKey, [&texts, i] { return texts.at(i); }, [&texts, i](const QString &t) { texts[i] = t; }});
    }
    return translate(phraseQuery, textSlots, column(languageCode));
}

QString lookup(DataSet &phraseQuery, const QString &english, const QString &languageCode)
{
    QStringList texts{english};
    translateTexts(phraseQuery, texts, languageCode);
    return texts.first();
}

bool translateScheduleWords(DataSet &phraseQuery, ScheduleTable &schedule, const QString &previousLanguageCode,
                            const QString &languageCode)
{
    const std::optional<QString> from = sourceColumn(previousLanguageCode);
    const QString to = column(languageCode);
    if (!from || *from == to)
        return true;
    try {
        phraseQuery.openQuery(kPhraseQuery);
        phraseQuery.first();
        const int phrases = phraseQuery.recordCount();
        for (int p = 0; p < phrases; ++p) {
            const QString oldWord = phraseQuery.text(*from);
            // A phrase with no word in the old language matches nothing:
            // otherwise every empty date field would receive its text.
            if (!oldWord.isEmpty())
                schedule.replaceWord(oldWord, phraseQuery.text(to));
            phraseQuery.next();
        }
        return true;
    } catch (const StoreError &) {
        return false;
    }
}

bool readSetting(DataSet &settingQuery, MainState &state)
{
    state.languageCode.clear();
    state.previousLanguageCode.clear();
    try {
        settingQuery.openQuery(kSettingQuery);
        if (settingQuery.recordCount() == 0)
            return false;
        settingQuery.first();
        state.languageCode = settingQuery.text(QStringLiteral("lang1"));
        state.previousLanguageCode = settingQuery.text(QStringLiteral("lang2"));
        return settingQuery.text(QStringLiteral("firstexe")) == QLatin1String("Y");
    } catch (const StoreError &) {
        return false;
    }
}

void saveChoice(DataSet &settingQuery, int entryIndex, const QString &languageCode)
{
    bool numeric = false;
    const int previous = languageCode.trimmed().toInt(&numeric);
    if (!numeric)
        throw StoreError("language number is not a number");
    if (!settingQuery.isOpen() || settingQuery.recordCount() == 0)
        throw StoreError("no language setting row");
    settingQuery.first();
    settingQuery.edit();
    try {
        settingQuery.setField(QStringLiteral("lang1"), entryIndex + 1);
        settingQuery.setField(QStringLiteral("lang2"), previous);
        settingQuery.setField(QStringLiteral("firstexe"), QStringLiteral("N"));
        settingQuery.post();
    } catch (const StoreError &) {
        settingQuery.cancel();
        throw;
    }
}

}  // namespace InterfaceLanguage
