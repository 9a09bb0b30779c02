// The audio, video and picture copies: a settings folder pair handed to the copy engine.
#pragma once

namespace qv {

struct Program;

void CopyAudioFolder(Program& p);
void CopyVideoFolder(Program& p);
void CopyPictureFolder(Program& p);

}  // namespace qv
