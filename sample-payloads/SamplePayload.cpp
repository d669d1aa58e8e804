// The code of a sample payload: a capture plug-in that names itself. Built
// into the sample bundles the panes carry, so that Install and Remove have a
// real bundle to copy.

extern "C" const char* PrivetSamplePayloadName(void) { return PRIVET_SAMPLE_PAYLOAD_NAME; }
