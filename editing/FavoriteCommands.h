// Favourite ranges (the favourite flag of words, toggled as an undo step) and the two
// whole-transcript clean-ups that cannot be undone: removing every favourite range and
// removing final full stops. Main thread only.
#pragma once

#include "model/QVOrderedSet.h"
#include "model/QVWord.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class EditingEnvironment;

class FavoriteCommands {
public:
    explicit FavoriteCommands(EditingEnvironment& env) : env_(env) {}

    // `status` -1 toggles (clears when every word is a favourite, else sets), 0 clears, 1 sets.
    // While undoing or redoing each word takes its own entry of `originalWords` instead.
    void toggleFavoriteForSelectedWords(const QVOrderedSet<QVWord>& words, std::int64_t status,
                                        const std::optional<std::vector<bool>>& originalWords = std::nullopt);
    // The toolbar's favourite button, on the selected words.
    void buttonPressedToggleFavorite();
    // Ask in a warning sheet first; the work runs when the user picks "Remove".
    void removeFavoriteRanges();
    void removePunctuation();

private:
    void confirmCleanUp(const QString& message, std::function<void()> work);
    void refreshTableAfterCleanUp(const QString& method);

    EditingEnvironment& env_;
};
