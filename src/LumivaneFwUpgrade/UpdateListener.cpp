// Who follows the update: nobody in the update tool, the worker in the site program.
#include "LumivaneFwUpgrade.h"

namespace {

class Unfollowed : public UpdateListener {
public:
    void versionRead(const VersionReply &) override {}
    void identified(UnitIdentity) override {}
    void imageAnnounced(ImageStage, int, int, uint32_t) override {}
    void imageProgress(int) override {}
    void imageTaken(ImageStage) override {}
    void rebootSecondsLeft(int) override {}
    void promptCheck() override {}
    void updateFailed(UpdateFailure) override {}
};

Unfollowed unfollowed;
UpdateListener *follower = &unfollowed;

} // namespace

void updateFollow(UpdateListener *listener)
{
    follower = listener != nullptr ? listener : &unfollowed;
}

UpdateListener &updateListener(void)
{
    return *follower;
}
