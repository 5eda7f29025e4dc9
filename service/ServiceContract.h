#pragma once

// Endpoint names of the local speech service; each is appended to the base URL.
// Plain constants, so that the global settings can use them during start-up.
namespace ServiceContract {
inline constexpr char getVoices[] = "getVoices";
inline constexpr char ttsCommunicate[] = "ttsCommunicate";
inline constexpr char audioCombined[] = "audioCombined";
}
