#include "play/arrange/piece_start.h"

#include "common/time_units.h"
#include "play/arrange/voice_builder.h"

#include <algorithm>


Piece StartPieceAt(const Piece& piece, long long startUs)
{
    Piece started = piece;
    started.LengthUs = std::max(0LL, piece.LengthUs - startUs);
    for (PieceVoice& voice : started.Voices) {
        std::vector<VoiceStep> steps;
        for (const VoiceStep& step : voice.Steps) {
            VoiceStep moved = step;
            moved.AtUs = std::max(0LL, step.AtUs - startUs);
            // A step before the start is the state at the start until a later one replaces it.
            if (!steps.empty() && steps.back().AtUs == moved.AtUs)
                steps.back() = moved;
            else
                steps.push_back(moved);
        }
        voice.Steps = steps;
        voice.LengthUs = std::max(0LL, voice.LengthUs - startUs);
    }
    // Settings before the start hold from it, the latest of each channel winning.
    for (VibratoSetting& setting : started.Vibrato) setting.AtUs = std::max(0LL, setting.AtUs - startUs);
    return started;
}
