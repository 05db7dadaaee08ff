"""vela: OpenUSD plug-ins for keeping layers in step with a remote copy."""
