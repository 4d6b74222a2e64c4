#include "play/perform/report_cursor.h"

namespace {

// The reports a pass sends: all but the ones due at its very end unless it is the last pass.
void StartPass(ReportCursor& cursor)
{
    const std::vector<ScheduledReport>& reports = cursor.Plan->Reports;
    const bool lastPass = cursor.Passes > 0 && cursor.Pass + 1 >= cursor.Passes;
    cursor.Count = reports.size();
    if (!lastPass)
        while (cursor.Count > 1 && reports[cursor.Count - 1].DueUs >= cursor.LengthUs) --cursor.Count;
    cursor.Next = 0;
    if (cursor.Pass > 0)
        while (cursor.Next + 1 < cursor.Count && reports[cursor.Next].DueUs < cursor.RepeatFromUs) ++cursor.Next;
}

void FollowReport(ReportCursor& cursor, const ScheduledReport& report)
{
    RumbleSample samples[MaxSamplesPerBlock];
    DecodeRumbleBlock(report.Left.Bytes, &cursor.Left, samples);
    DecodeRumbleBlock(report.Right.Bytes, &cursor.Right, samples);
}

}  // namespace

void StartReportCursor(ReportCursor& cursor, const Schedule& plan, long long lengthUs, long long repeatFromUs,
                       int passes)
{
    cursor = ReportCursor{};
    cursor.Plan = &plan;
    cursor.LengthUs = lengthUs;
    cursor.RepeatFromUs = repeatFromUs;
    cursor.PassUs = lengthUs - repeatFromUs;
    cursor.Passes = passes;
    StartPass(cursor);
}

bool HasNextReport(const ReportCursor& cursor) { return cursor.Next < cursor.Count; }

long long NextReportDueUs(const ReportCursor& cursor) { return cursor.Plan->Reports[cursor.Next].DueUs; }

ScheduledReport TakeNextReport(ReportCursor& cursor, const OverdueCheck& overdue, long long* pass, long long* dueUs,
                               int* passedOver)
{
    const std::vector<ScheduledReport>& reports = cursor.Plan->Reports;
    *passedOver = 0;
    while (cursor.Next + 1 < cursor.Count && overdue(cursor.Pass, reports[cursor.Next + 1].DueUs)) {
        FollowReport(cursor, reports[cursor.Next]);
        ++cursor.Next;
        ++*passedOver;
    }
    const ScheduledReport& planned = reports[cursor.Next];
    FollowReport(cursor, planned);
    // A streamed block steps on from the state the passed-over ones would have left: without
    // setting that state the controller would play wrong, maybe louder than the safe maximum,
    // until the next block that sets both bands.
    ScheduledReport sent = planned;
    if (*passedOver > 0) {
        if (!IsAbsoluteRumbleBlock(planned.Left.Bytes)) EncodeStateRumbleBlock(cursor.Left, sent.Left.Bytes);
        if (!IsAbsoluteRumbleBlock(planned.Right.Bytes)) EncodeStateRumbleBlock(cursor.Right, sent.Right.Bytes);
    }
    *pass = cursor.Pass;
    *dueUs = planned.DueUs;
    ++cursor.Next;
    const bool lastPass = cursor.Passes > 0 && cursor.Pass + 1 >= cursor.Passes;
    if (cursor.Next >= cursor.Count && !lastPass) {
        ++cursor.Pass;
        StartPass(cursor);
    }
    return sent;
}
