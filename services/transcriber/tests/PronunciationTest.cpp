#include "services/transcriber/Pronunciation.h"
#include "services/transcriber/SpeechRecognizer.h"

#include <gtest/gtest.h>

namespace qv::transcriber {
namespace {

TEST(Pronunciation, IpaBecomesTheRecognizersPhones)
{
    // The IPA espeak-ng gives for these words, and the dictionary's phones for them.
    const struct {
        const char* ipa;
        const char* phones;
    } cases[] = {
        {"wˈɔːɾɚ", "W AO T ER"},
        {"dʒˈʌdʒ", "JH AH JH"},
        {"tʃˈɜːtʃ", "CH ER CH"},
        {"θˈɪŋ", "TH IH NG"},
        {"ðˈɪs", "DH IH S"},
        {"mˈɛʒɚ", "M EH ZH ER"},
        {"bˈɔɪ", "B OY"},
        {"hˈaʊs", "HH AW S"},
        {"bˈaɪk", "B AY K"},
        {"kjˈʊɹ", "K Y UH R"},
        {"həlˈoʊ", "HH AH L OW"},
        {"bˈʌʔn̩", "B AH T AH N"},
        {"nˈeɪʃən", "N EY SH AH N"},
        {"ɡˈʊd", "G UH D"},
        {"kwˌoːɹvɐntˈɛl", "K W AO R V AH N T EH L"},
        {"", ""},
        {"ˈˌː_ ", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(phonesFromIpa(c.ipa), c.phones) << c.ipa;
}

TEST(Pronunciation, TheRecognizerLearnsOnlyTheWordsItDoesNotKnow)
{
    EXPECT_EQ(pronunciationOf("water"), "W AO T ER");
    EXPECT_EQ(pronunciationOf("..."), std::nullopt);

    std::string error;
    auto recognizer = SpeechRecognizer::create({}, error);
    ASSERT_TRUE(recognizer) << error;
    EXPECT_EQ(recognizer->addCustomWords({"Quorvantelle", "Water", "Ann Lumenbridge,", "(Quorvantelle)", "  "}),
              (std::vector<std::string>{"Quorvantelle", "Lumenbridge"}));
}

}  // namespace
}  // namespace qv::transcriber
