#pragma once
// What the sending of messages tells the user, as Windows-1254 bytes: the outcome of one
// message and the reasons a bulk run does not start.

#include <string>

namespace sms::texts {

// The Turkish reason for the error line in `reply` (+CMS ERROR: n, +CME ERROR: n or
// ERROR), with the code: "Bilinmeyen abone (+CMS ERROR: 30)", a code outside the table
// alone ("+CMS ERROR: 600"). Empty when the reply holds no error line.
std::string errorReplyText(const std::string& reply);
// n of "+CMS ERROR: n" in `reply`; -1 when it holds none in the numeric form.
int cmsErrorCode(const std::string& reply);

std::string noPrompt();                             // no ">" after AT+CMGS
std::string noAnswer();                             // no final result within the limit
std::string lineLost();                             // the port closed during the submission
std::string notConnected();                         // no phone
std::string lineBusy();                             // the line is held by an unfinished command
std::string pduModeRefused();                       // AT+CMGF=0 not accepted
std::string simNotReady(const std::string& state);  // AT+CPIN? other than READY
std::string notRegistered();                        // AT+CREG? neither 1 nor 5
std::string emptyText();                            // a bulk run without a message text
std::string resultsFileFailed();  // a row of the results file could not be written
// "Gönderildi: ref 5 6" / "Gönderilemedi: REASON" / "Belirsiz: REASON" (a PDU went out
// and no answer came: the message may have been delivered)
std::string sentLine(const std::string& references);
std::string failedLine(const std::string& reason);
std::string unknownLine(const std::string& reason);
// "2/3 parça": how many parts of a long message went out.
std::string partsSent(int sent, int total);
// "118 gönderildi, 2 başarısız" and, when some were not served, ", 5 gönderilmedi".
std::string summary(int sent, int failed, int notSent);
// Outcome words of the results: "gönderildi", "başarısız", "gönderilmedi", "belirsiz",
// "atlandı".
std::string outcomeSent();
std::string outcomeFailed();
std::string outcomeNotSent();
// "belirsiz" (no answer came: it may have been delivered), "atlandı" (not served on purpose).
std::string outcomeUnknown();
std::string outcomeSkipped();
// ", 2 belirsiz" / ", 3 atlandı": added to the summary when not zero.
std::string unknownCount(int unknown);
std::string skippedCount(int skipped);
// The run stopped because a state change could not be recorded.
std::string recordFailed(const std::string& reason);
// A run over several phones: every phone reached its daily limit ("Günlük sınır").
std::string dailyLimitReached();

}  // namespace sms::texts
