#include <algorithm>

#include "ik/solver.h"

void initRestPositions(const Model& poseModel, JointPositionSets& sets, LineVertex* strip,
                       size_t stripCapacity, ChainScratch& scratch) {
    const size_t bones = poseModel.bones.size();
    if (jointCount(sets.workPositions) < bones || jointCount(sets.restPositions) < bones) return;
    scratch.recordBones = true;
    for (size_t i = 0; i < bones; ++i) {
        std::fill(strip, strip + stripCapacity, LineVertex{});
        scratch.clear();
        collectChain(poseModel, static_cast<int32_t>(i), 0, scratch);
        const size_t written =
            chainPositionsToSet(scratch, strip, stripCapacity, sets.workPositions);
        for (size_t k = 0; k < written; ++k) strip[k].color = 0xFFFFFFFFu;
    }
    copyJointPositions(sets.workPositions, sets.restPositions);
}
