// The port selection dialog; installed as the serial component's port prompt.
