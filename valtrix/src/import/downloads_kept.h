// Whether the handheld kept what a synchronisation's downloads sent. The handheld keeps a
// synchronisation's changes only when it ends cleanly, after our downloads, so a link
// dropped in between loses them although every download succeeded. HotSync numbers its
// sessions in the registry and notes the last one that ended cleanly; until that session
// is seen to have ended cleanly, the kept Outbox files and the downloads mark stay for the
// recovery an interrupted synchronisation gets. A HotSync that numbers no sessions leaves
// the downloads counted as kept once they all succeeded.
//
// The session's number is kept in System/Downloads.session, written with the one durable
// write; a failure to write or read it throws std::runtime_error naming the file.
#pragma once

namespace valtrix {

// Every download of this synchronisation succeeded.
void NoteDownloadsSent();

// At a synchronisation's start (`session_over`: the noted one is over) or end: forgets the
// kept files and the mark once the noted session ended cleanly; a session over without a
// clean end leaves them to the recovery and only its note goes.
void SettleDownloadsSent(bool session_over);

}  // namespace valtrix
