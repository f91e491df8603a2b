# Test executables of the audio path, queues and threads.
