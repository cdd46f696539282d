"""Patch-server test kit: nginx on a loopback port, a fault HTTP server, sample client folders."""
