#include "play/report/text_listing.h"

#include "common/time_units.h"
#include "play/report/wording.h"

namespace {

const char* BandsOf(std::size_t voice, std::size_t voices)
{
    if (voices == 1) return "both bands";
    return voice == 0 ? "high band" : "low band";
}

}  // namespace

void PrintListing(std::FILE* out, const std::string& name, const std::string& controllers, const Piece& piece,
                  const Schedule& schedule)
{
    std::fprintf(out, "%s: %zu voice%s on %s\n", name.c_str(), piece.Voices.size(),
                 piece.Voices.size() == 1 ? "" : "s", controllers.c_str());
    for (std::size_t v = 0; v < piece.Voices.size(); ++v) {
        const PieceVoice& voice = piece.Voices[v];
        std::fprintf(out, "voice %zu (%s): %s, %s, %s\n", v + 1, BandsOf(v, piece.Voices.size()),
                     CountOf(voice.Notes, "note").c_str(), CountOf(voice.Rests, "rest").c_str(),
                     FormatPlayTime(voice.LengthUs).c_str());
    }
    std::fprintf(out, "length: %s (%lld ms), %s\n", FormatPlayTime(piece.LengthUs).c_str(),
                 piece.LengthUs / MicrosecondsPerMillisecond,
                 CountOf(static_cast<long long>(schedule.Reports.size()), "report").c_str());
    if (piece.Notices.empty()) {
        std::fprintf(out, "every note can sound\n");
        return;
    }
    std::fprintf(out, "cannot sound as written:\n");
    for (const PieceNotice& notice : piece.Notices)
        std::fprintf(out, "  %s:%d:%d: %s\n", name.c_str(), notice.Line, notice.Column, notice.Text.c_str());
}
