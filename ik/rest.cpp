#include "ik/solver.h"

void initRestPositions(const Model& poseModel, JointPositionSets& sets) {
    const size_t bones = poseModel.bones.size();
    if (jointCount(sets.workPositions) < bones || jointCount(sets.restPositions) < bones) return;
    FramePose pose;
    evaluateFrame(poseModel, 0, pose);
    for (size_t b = 0; b < bones; ++b) {
        if (pose.links[b] < 1) continue;
        setJointPosition(sets.workPositions, static_cast<int32_t>(b),
                         b == 0 ? Vec3{} : pose.positions[b]);
    }
    copyJointPositions(sets.workPositions, sets.restPositions);
}
