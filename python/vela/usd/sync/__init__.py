"""Sync layers: the vela file format and its client API."""
