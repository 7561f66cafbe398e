#include "CommandLine.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string Lowered(const std::string &text)
{
    std::string lowered = text;
    for (char &c : lowered)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return lowered;
}

// Sets *seen, failing when the switch was already given: a repeated switch is a syntax error.
bool MarkOnce(bool *seen)
{
    if (*seen)
        return false;
    *seen = true;
    return true;
}

}  // namespace

bool SplitCommandWords(const char *commandLine, std::vector<std::string> *words)
{
    words->clear();
    const char *p = commandLine;
    while (*p) {
        while (IsBlank(*p))
            p++;
        if (!*p)
            break;
        // Built in its place in the list: a word of its own on the stack would leave a copy of
        // the password there.
        words->emplace_back();
        std::string &word = words->back();
        bool quoted = false;
        while (*p && (quoted || !IsBlank(*p))) {
            if (*p == '"')
                quoted = !quoted;
            else
                word += *p;
            p++;
        }
        if (quoted)
            return false;
    }
    return true;
}

bool ParseVolumeSwitch(const std::string &word, uint64_t *bytes)
{
    if (word.size() < 3 || (word[0] != '-') || (word[1] != 'v' && word[1] != 'V'))
        return false;
    size_t i = 2;
    uint64_t count = 0;
    while (i < word.size() && word[i] >= '0' && word[i] <= '9') {
        unsigned digit = (unsigned)(word[i] - '0');
        if (count > (UINT64_MAX - digit) / 10)
            return false;
        count = count * 10 + digit;
        i++;
    }
    if (i == 2 || count == 0)
        return false;
    uint64_t unit = 1;
    if (i < word.size()) {
        switch (word[i]) {
        case 'b': case 'B': unit = 1; break;
        case 'k': case 'K': unit = 1024; break;
        case 'm': case 'M': unit = 1024 * 1024; break;
        case 'g': case 'G': unit = 1024 * 1024 * 1024; break;
        default: return false;
        }
        i++;
    }
    if (i != word.size() || count > UINT64_MAX / unit)
        return false;
    *bytes = count * unit;
    return true;
}

bool ParseArchiveCommand(const char *commandLine, ArchiveCommand *command)
{
    *command = ArchiveCommand();
    std::vector<std::string> words;
    if (!commandLine || !SplitCommandWords(commandLine, &words))
        return false;
    // The first word stands for the program name; the command must be "a" (add).
    if (words.size() < 2 || Lowered(words[1]) != "a")
        return false;

    bool type = false, charset = false, shared = false, method = false, volume = false;
    bool password = false, archive = false, list = false;
    for (size_t i = 2; i < words.size(); i++) {
        const std::string &word = words[i];
        // The password's word is not lowered: that would be one more copy of the password.
        bool isPassword = word.size() >= 2 && word[0] == '-' && word[1] == 'p';
        std::string lowered = isPassword ? std::string() : Lowered(word);
        bool ok = true;
        if (word.empty()) {
            ok = false;
        } else if (word[0] == '@') {
            command->listPath = word.substr(1);
            ok = MarkOnce(&list) && !command->listPath.empty();
        } else if (word[0] != '-') {
            command->archivePath = word;
            ok = MarkOnce(&archive);
        } else if (isPassword) {
            // An empty password would make the archiver ask for one; a library cannot ask.
            command->password = SecretText(word.c_str() + 2);
            ok = MarkOnce(&password) && !command->password.IsEmpty();
        } else if (lowered == "-tzip") {
            ok = MarkOnce(&type);
        } else if (lowered == "-scswin" || lowered == "-scsutf-8") {
            ok = MarkOnce(&charset);
            command->utf8List = lowered == "-scsutf-8";
        } else if (lowered == "-ssw") {
            ok = MarkOnce(&shared);
        } else if (lowered == "-mem=aes256") {
            ok = MarkOnce(&method);
        } else if (lowered[1] == 'v') {
            ok = MarkOnce(&volume) && ParseVolumeSwitch(word, &command->volumeSize);
        } else {
            ok = false;
        }
        if (!ok) {
            *command = ArchiveCommand();
            return false;
        }
    }
    // A password without the AES method would mean the weak legacy cipher, and the method
    // without a password means nothing: the ZIP step always gives the two together.
    if (!type || !charset || !shared || !archive || !list || password != method) {
        *command = ArchiveCommand();
        return false;
    }
    command->encrypted = password;
    return true;
}
