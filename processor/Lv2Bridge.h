#pragma once

namespace quorvane
{

class Quorvane;

namespace lv2bridge
{
/** The processor createPluginFilter made last on this thread. The LV2 entry point takes it
    right after the framework's instantiate, to learn which processor belongs to the instance. */
Quorvane*& lastCreatedProcessor();
} // namespace lv2bridge

} // namespace quorvane
