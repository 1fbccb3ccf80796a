#!/usr/bin/env python3
"""The Agones manifests and the image recipe in contrib/agones carry what the host needs.
Usage: manifests_check.py SOURCE_DIR"""
import pathlib
import re
import sys
import unittest

import yaml

SOURCE = pathlib.Path(sys.argv.pop(1) if len(sys.argv) > 1 else ".")
AGONES = SOURCE / "contrib" / "agones"
HEADER = (SOURCE / "src" / "agones" / "agones.h").read_text(encoding="utf-8")
HEALTH_PERIOD = float(re.search(r"AGONES_HEALTH_PERIOD = ([0-9.]+);", HEADER).group(1))


def load(name):
    with open(AGONES / name, encoding="utf-8") as stream:
        return yaml.safe_load(stream)


def wanted(manifest):
    """What a Kubernetes object asks for: its one key beside its type and its name."""
    (body,) = (value for key, value in manifest.items() if key not in ("apiVersion", "kind", "metadata"))
    return body


class Manifests(unittest.TestCase):
    def server(self):
        """The GameServer as asked for, which the Fleet's template must repeat as it is."""
        server, fleet = load("gameserver.yaml"), load("fleet.yaml")
        self.assertEqual((server["apiVersion"], server["kind"]), ("agones.dev/v1", "GameServer"))
        self.assertEqual((fleet["apiVersion"], fleet["kind"]), ("agones.dev/v1", "Fleet"))
        self.assertEqual(wanted(server), wanted(wanted(fleet)["template"]))
        return wanted(server)

    def test_port_health_resources_and_user(self):
        server = self.server()
        self.assertEqual(server["ports"], [{"name": "default", "portPolicy": "Dynamic",
                                          "containerPort": 42069, "protocol": "UDP"}])
        health = server["health"]
        self.assertFalse(health["disabled"])
        self.assertEqual(health["periodSeconds"], HEALTH_PERIOD)  # a period without a ping fails
        self.assertGreaterEqual(health["failureThreshold"], 2)
        (container,) = wanted(server["template"])["containers"]
        requests, limits = container["resources"]["requests"], container["resources"]["limits"]
        # Measured: 12.3 MB (2^20 bytes) resident and 0.4 % of a core, two players, the SDK on.
        self.assertGreaterEqual(int(requests["memory"].removesuffix("Mi")), 1.5 * 12.3)
        self.assertGreaterEqual(int(limits["memory"].removesuffix("Mi")), 2 * int(requests["memory"][:-2]))
        self.assertGreaterEqual(int(requests["cpu"].removesuffix("m")), 4)
        security = container["securityContext"]
        self.assertTrue(security["runAsNonRoot"])
        self.assertNotEqual(security["runAsUser"], 0)
        self.assertFalse(security["allowPrivilegeEscalation"])

    def test_autoscaler_and_allocation_name_the_fleet(self):
        name = load("fleet.yaml")["metadata"]["name"]
        scaler = load("fleetautoscaler.yaml")
        self.assertEqual((scaler["kind"], wanted(scaler)["fleetName"]), ("FleetAutoscaler", name))
        self.assertEqual(wanted(scaler)["policy"]["type"], "Buffer")
        buffer = wanted(scaler)["policy"]["buffer"]
        self.assertTrue(0 < buffer["bufferSize"] <= buffer["minReplicas"] < buffer["maxReplicas"])
        allocation = load("allocation.yaml")
        self.assertEqual(allocation["kind"], "GameServerAllocation")
        self.assertEqual(wanted(allocation)["selectors"], [{"matchLabels": {"agones.dev/fleet": name}}])

    def test_image_is_the_package_on_debian_12_slim_as_the_manifests_user(self):
        recipe = (AGONES / "Containerfile").read_text(encoding="utf-8")
        lines = [line for line in recipe.splitlines() if line and not line.startswith("#")]
        self.assertEqual([line for line in lines if line.startswith("FROM ")], ["FROM debian:12-slim"])
        self.assertEqual(re.findall(r"apt-get install ([^\\&]*)", recipe),
                         ["-y --no-install-recommends /tmp/netduel_${VERSION}_amd64.deb "])
        user = wanted(self.server()["template"])["containers"][0]["securityContext"]["runAsUser"]
        self.assertIn("USER %d" % user, lines)
        self.assertIn("--uid %d" % user, recipe)
        self.assertEqual(lines[-1], 'ENTRYPOINT ["/usr/games/netduel", "--dedicated"]')


if __name__ == "__main__":
    unittest.main()
