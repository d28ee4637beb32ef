#pragma once

// Windows has one registry for all, reached through its own API alone.
struct TestRegistryBase
{
};
