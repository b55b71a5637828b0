// A signed-in account with an open file on an in-process database, its custom-word mirrors kept
// by observers the way the account observers keep them, and a hook run after each change.
#pragma once

#include "model/AppDelegate.h"
#include "platform/foundation/ManualDispatcher.h"
#include "platform/rtdb/DatabaseBackend.h"
#include "platform/rtdb/DatabaseClient.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace qv::search {

class CustomWordsFixture : public ::testing::Test {
protected:
    CustomWordsFixture() : client(backend, queue)
    {
        ad.currentFile = std::make_shared<QVFile>();
        ad.currentFile->uuid = "F1";
        ad.currentFile->customWordsRef = client.reference("files/F1/custom_words");
        ad.userCustomWordsRef = client.reference("users/U1/custom_words");
        mirror(ad.userCustomWordsRef, &ad.userCustomWords);
        mirror(ad.currentFile->customWordsRef, &ad.currentFile->customWords);
        queue.drain();
    }

    // The words stored under `path`, in push order.
    QStringList stored(const std::string& path)
    {
        queue.drain();
        QStringList words;
        const DatabaseValue value = backend.value(path);
        for (const auto entry : value.children())
            words << QString::fromStdString(entry.value.toString());
        return words;
    }
    QStringList fileWords() { return stored("files/F1/custom_words"); }
    QStringList accountWords() { return stored("users/U1/custom_words"); }

    // Another computer's write, heard here as the service reports it.
    void storeElsewhere(const std::string& path, const std::string& key, const char* word)
    {
        backend.setValue(path + "/" + key, word ? DatabaseValue(word) : DatabaseValue());
        queue.drain();
    }

    std::function<void()> changed;
    AppDelegate ad;
    ManualDispatcher queue;
    DatabaseBackend backend;
    DatabaseClient client;

private:
    void mirror(const DatabaseReference& ref, QMap<QString, QString>* words)
    {
        ref.observe(DatabaseEvent::ChildAdded, [this, words](const DataSnapshot& snapshot) {
            words->insert(QString::fromStdString(snapshot.key()), QString::fromStdString(snapshot.stringValue()));
            if (changed)
                changed();
        });
        ref.observe(DatabaseEvent::ChildRemoved, [this, words](const DataSnapshot& snapshot) {
            words->remove(QString::fromStdString(snapshot.key()));
            if (changed)
                changed();
        });
    }
};

}  // namespace qv::search
