#include "services/hub/AccessRules.h"

#include <array>
#include <string_view>

namespace qv::hub {

namespace {

enum class Grant {
    Nobody,    // only the service itself
    SignedIn,  // every signed-in account, at or below the row's location
    Own,       // the account named by the row's "$uid" segment
    FileOwner, // the account in `files/<$file>/owner` (before and after the write)
    Counter,   // read: anyone signed in; write: exactly the row's location, one more than before
    OwnCounter // the own account, written as a counter
};

struct Rule {
    std::string_view pattern;  // segments; "$uid" the caller's uid, "$file" a file id, "$any" any key
    Grant read;
    Grant write;
};

// The first row whose pattern matches the start of a path decides for it.
constexpr std::array kRules{
    // The minutes an account has paid for, and whether it can run out, are set by the service alone.
    Rule{"users/$uid/mins_bal", Grant::Own, Grant::Nobody},
    Rule{"users/$uid/mins_unlimited", Grant::Own, Grant::Nobody},
    Rule{"users/$uid", Grant::Own, Grant::Own},
    Rule{"users_online/$uid", Grant::Own, Grant::Own},
    Rule{"debug_character_editing/$uid", Grant::Own, Grant::Own},
    Rule{"files/$file", Grant::FileOwner, Grant::FileOwner},
    Rule{"transcripts/$file", Grant::FileOwner, Grant::FileOwner},
    Rule{"files_new/$file", Grant::FileOwner, Grant::FileOwner},
    Rule{"stats/os_version/$any/$uid", Grant::Own, Grant::Own},
    Rule{"stats/export_count/caption_sentences_users/$uid", Grant::OwnCounter, Grant::OwnCounter},
    // The list itself names every account with its count: it is no counter of anyone's.
    Rule{"stats/export_count/caption_sentences_users", Grant::Nobody, Grant::Nobody},
    Rule{"stats/export_count/$any", Grant::Counter, Grant::Counter},
    Rule{"status", Grant::SignedIn, Grant::Nobody},
    Rule{"mac_unverified_account_message", Grant::SignedIn, Grant::Nobody},
};

struct Match {
    const Rule* rule = nullptr;
    std::size_t depth = 0;  // segments in the pattern
    std::string file;       // the "$file" segment
    bool own = true;        // the "$uid" segment (if any) is the caller's
};

Match match(const std::string& uid, const DatabasePath& path)
{
    for (const Rule& rule : kRules) {
        Match found{&rule, 0, {}, true};
        std::string_view rest = rule.pattern;
        bool matches = true;
        while (matches && !rest.empty()) {
            std::size_t slash = rest.find('/');
            std::string_view segment = rest.substr(0, slash);
            rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
            if (found.depth >= path.depth()) {
                matches = false;
                break;
            }
            const std::string& actual = path.segments()[found.depth++];
            if (segment == "$uid")
                found.own = actual == uid;
            else if (segment == "$file")
                found.file = actual;
            else if (segment != "$any")
                matches = actual == segment;
        }
        if (matches)
            return found;
    }
    return {};
}

std::string ownerOf(const DatabaseValue& tree, const std::string& file)
{
    return tree.child("files").child(file).child("owner").toString();
}

// The file record may be reached when it does not exist or names the caller as its owner.
bool ownsOrAbsent(const std::string& uid, const DatabaseValue& tree, const std::string& file)
{
    DatabaseValue record = tree.child("files").child(file);
    return record.isNull() || ownerOf(tree, file) == uid;
}

}  // namespace

std::string readProblem(const std::string& uid, const DatabasePath& path, const DatabaseValue& tree)
{
    if (uid.empty())
        return "not signed in";
    Match found = match(uid, path);
    if (!found.rule)
        return "no account may read " + path.toString();
    switch (found.rule->read) {
    case Grant::SignedIn:
        return {};
    case Grant::Own:
    case Grant::OwnCounter:
        return found.own ? std::string() : "this account may not read " + path.toString();
    case Grant::FileOwner:
        return ownerOf(tree, found.file) == uid ? std::string() : "this account does not own file " + found.file;
    case Grant::Counter:
        return path.depth() == found.depth ? std::string() : "only the counter itself may be read";
    case Grant::Nobody:
        break;
    }
    return "no account may read " + path.toString();
}

std::string writeProblem(const std::string& uid, const std::vector<DatabaseWrite>& writes, const DatabaseValue& tree)
{
    if (uid.empty())
        return "not signed in";
    DatabaseValue after = tree;
    for (const auto& write : writes)
        after = after.withValueAt(write.path, write.value);
    for (const auto& write : writes) {
        const DatabasePath& path = write.path;
        Match found = match(uid, path);
        if (!found.rule)
            return "no account may write " + path.toString();
        switch (found.rule->write) {
        case Grant::Own: {
            if (!found.own)
                return "this account may not write " + path.toString();
            // A write of the whole account must leave its minutes as they are.
            for (const char* field : {"/mins_bal", "/mins_unlimited"}) {
                const DatabasePath held = DatabasePath::parse("users/" + uid + field);
                if (path.contains(held) && !(after.at(held) == tree.at(held)))
                    return "no account may write " + held.toString();
            }
            continue;
        }
        case Grant::FileOwner: {
            bool record = path.segments().front() == "files";
            // A record is made, changed or removed only by its owner; data that hangs off a
            // file (its transcript, its submission flag) needs the record to name the caller.
            bool allowed = record ? ownsOrAbsent(uid, tree, found.file) && ownsOrAbsent(uid, after, found.file)
                                  : ownerOf(after, found.file) == uid;
            if (!allowed)
                return "this account does not own file " + found.file;
            continue;
        }
        case Grant::Counter:
        case Grant::OwnCounter: {
            if (found.rule->write == Grant::OwnCounter && !found.own)
                return "this account may not write " + path.toString();
            DatabaseValue before = tree.at(path);
            bool counted = path.depth() == found.depth && write.value.isInt()
                && (before.isNull() || before.isInt()) && write.value.toInt() == before.toInt() + 1;
            if (!counted)
                return "a counter only counts up by one: " + path.toString();
            continue;
        }
        case Grant::SignedIn:
        case Grant::Nobody:
            return "no account may write " + path.toString();
        }
    }
    return {};
}

}  // namespace qv::hub
