#include "play/readers/text_reader.h"

#include "playdata/note_letters.h"

#include <cctype>
#include <cstdio>

namespace tune_text {
namespace {

constexpr char CommentMark = '#';
constexpr char VoiceSeparator = ';';

struct Cursor {
    const std::string& Text;
    std::size_t At;
    int Line;
    int Column;

    bool AtEnd() const { return At >= Text.size(); }
    char Peek(std::size_t ahead = 0) const { return At + ahead < Text.size() ? Text[At + ahead] : '\0'; }
    void Advance()
    {
        if (Text[At] == '\n') {
            ++Line;
            Column = 1;
        } else {
            ++Column;
        }
        ++At;
    }
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A character as an error message names it: printable ones quoted, others by their byte value.
std::string Describe(char c)
{
    const unsigned char byte = static_cast<unsigned char>(c);
    if (std::isgraph(byte) && byte < 0x80) return std::string("'") + c + "'";
    char text[16];
    std::snprintf(text, sizeof text, "byte 0x%02x", byte);
    return text;
}

class Reader {
public:
    Reader(const std::string& text, std::vector<Voice>* voices, TextError* error)
        : cursor_{text, 0, 1, 1}, voices_(voices), error_(error)
    {
    }

    bool Read()
    {
        voices_->clear();
        StartVoice();
        while (SkipSpaceAndComments()) {
            const int line = cursor_.Line;
            const int column = cursor_.Column;
            const char c = cursor_.Peek();
            if (c == VoiceSeparator) {
                if (!CloseVoice()) return false;
                if (static_cast<int>(voices_->size()) == MaxVoices)
                    return Fail(line, column, "at most two voices (one ';' between them)");
                cursor_.Advance();
                StartVoice();
                continue;
            }
            if (!ReadCommand(line, column)) return false;
        }
        return CloseVoice();
    }

private:
    Cursor cursor_;
    std::vector<Voice>* voices_;
    TextError* error_;
    std::vector<std::size_t> openRepeats_;

    bool Fail(int line, int column, const std::string& message)
    {
        *error_ = TextError{line, column, message};
        return false;
    }

    void StartVoice()
    {
        voices_->push_back(Voice{{}, cursor_.Line, cursor_.Column});
        openRepeats_.clear();
    }

    bool CloseVoice()
    {
        if (openRepeats_.empty()) return true;
        const Command& open = voices_->back().Commands[openRepeats_.back()];
        return Fail(open.Line, open.Column, "'[' is never closed by ']'");
    }

    // True while something other than white space and comments is left.
    bool SkipSpaceAndComments()
    {
        while (!cursor_.AtEnd()) {
            const char c = cursor_.Peek();
            if (IsSpace(c)) {
                cursor_.Advance();
            } else if (c == CommentMark) {
                while (!cursor_.AtEnd() && cursor_.Peek() != '\n') cursor_.Advance();
            } else {
                return true;
            }
        }
        return false;
    }

    // A number as the interpreter reads it: white space, one optional sign, digits. With no
    // digits the cursor stays where it was and *found is false.
    bool ReadNumber(bool* found, int* value)
    {
        std::size_t look = 0;
        while (IsSpace(cursor_.Peek(look))) ++look;
        const char sign = cursor_.Peek(look);
        if (sign == '+' || sign == '-') ++look;
        if (!IsDigit(cursor_.Peek(look))) {
            *found = false;
            return true;
        }
        while (!IsDigit(cursor_.Peek())) cursor_.Advance();
        const int line = cursor_.Line;
        const int column = cursor_.Column;
        long long magnitude = 0;
        while (IsDigit(cursor_.Peek())) {
            if (magnitude <= MaxNumber) magnitude = magnitude * 10 + (cursor_.Peek() - '0');
            cursor_.Advance();
        }
        if (magnitude > MaxNumber)
            return Fail(line, column, "number too large (at most " + std::to_string(MaxNumber) + ")");
        *found = true;
        *value = static_cast<int>(sign == '-' ? -magnitude : magnitude);
        return true;
    }

    void Add(CommandKind kind, int line, int column, bool hasNumber, int number, int step)
    {
        voices_->back().Commands.push_back(Command{kind, line, column, hasNumber, number, step, -1});
    }

    bool ReadCommand(int line, int column)
    {
        const char c = cursor_.Peek();
        const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        cursor_.Advance();
        bool found = false;
        int number = 0;
        switch (lower) {
        case '<':
            Add(CommandKind::OctaveDown, line, column, false, 0, 0);
            return true;
        case '>':
            Add(CommandKind::OctaveUp, line, column, false, 0, 0);
            return true;
        case 't': case 'l': case 'o': case 'r': {
            if (!ReadNumber(&found, &number)) return false;
            const CommandKind kind = lower == 't' ? CommandKind::UnitTime
                                     : lower == 'l' ? CommandKind::DefaultLength
                                     : lower == 'o' ? CommandKind::Octave
                                                    : CommandKind::Rest;
            Add(kind, line, column, found, number, 0);
            return true;
        }
        case 'a': case 'b': case 'c': case 'd': case 'e': case 'f': case 'g': case 'h': {
            int step = NoteStep(c);
            // One accidental at most; a second sign belongs to the number.
            if (cursor_.Peek() == '+') {
                ++step;
                cursor_.Advance();
            } else if (cursor_.Peek() == '-') {
                --step;
                cursor_.Advance();
            }
            if (!ReadNumber(&found, &number)) return false;
            Add(CommandKind::Note, line, column, found, number, step);
            return true;
        }
        case '[':
            if (static_cast<int>(openRepeats_.size()) == MaxRepeatDepth)
                return Fail(line, column, "repeats nested more than " + std::to_string(MaxRepeatDepth) + " deep");
            openRepeats_.push_back(voices_->back().Commands.size());
            Add(CommandKind::RepeatOpen, line, column, false, 0, 0);
            return true;
        case ']': {
            if (openRepeats_.empty()) return Fail(line, column, "']' without a '[' before it");
            const int countLine = cursor_.Line;
            const int countColumn = cursor_.Column;
            if (!ReadNumber(&found, &number)) return false;
            if (!found) number = DefaultRepeatCount;
            if (number < 1 || number > MaxRepeatCount)
                return Fail(countLine, countColumn, "a repeat count is 1 to " + std::to_string(MaxRepeatCount));
            std::vector<Command>& commands = voices_->back().Commands;
            const std::size_t open = openRepeats_.back();
            openRepeats_.pop_back();
            commands[open].Partner = static_cast<int>(commands.size());
            Add(CommandKind::RepeatClose, line, column, true, number, 0);
            commands.back().Partner = static_cast<int>(open);
            return true;
        }
        default:
            return Fail(line, column, "unexpected " + Describe(c));
        }
    }
};

}  // namespace

bool ReadTuneText(const std::string& text, std::vector<Voice>* voices, TextError* error)
{
    return Reader(text, voices, error).Read();
}

}  // namespace tune_text
